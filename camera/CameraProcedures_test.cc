// The causes the procedures give beside their fixed outcomes, against scripted servers on
// loopback that answer the way real cameras and their neighbours do.
#include "camera/CameraProcedures.h"

#include <gtest/gtest.h>

#include <string>

#include "base/Clock.h"
#include "cgi/net.h"
#include "tests/ScriptedPeer.h"

namespace {

using tiltwise_test::ScriptedPeer;

CameraAccess At(int port, int timeoutMs = 2000) {
  CameraAccess camera;
  camera.ip = "127.0.0.1";
  camera.port = port;
  camera.user = "admin";
  camera.password = "pw";
  camera.timeoutMs = timeoutMs;
  return camera;
}

std::string Detail(const CString& text) {
  return text.str();
}

const std::string kValues = "HTTP/1.1 200 OK\r\n\r\nvar flip=\"1\";\r\nvar mirror=\"0\";\r\n";

// Every request of a procedure meets the same reply here, so the second request decides.
TEST(ProcedureDetail, RepliesWithoutTheExpectedStatusSayWhatCameInstead) {
  const std::string longLine = "HTTP/1.1 500 " + std::string(200, 'x');
  struct Case {
    std::string reply;
    Outcome query;
    std::string queryDetail;
    Outcome set;
    std::string setDetail;
    Cause queryCause = Cause::kBadStatus;
    Cause setCause = Cause::kBadStatus;
  } cases[] = {
      {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n401 Unauthorized\r\n",
       Outcome::kQueryInfoFailed,
       "information page: HTTP/1.1 401 Unauthorized: wrong user name or password",
       Outcome::kSetFailed,
       "information page: HTTP/1.1 401 Unauthorized: wrong user name or password",
       Cause::kUnauthorized, Cause::kUnauthorized},
      {"HTTP/1.0 200 OK\r\n\r\nvar chip_type=71;\r\n[Succeed]", Outcome::kQueryInfoFailed,
       "getmotorrange: HTTP/1.0 200 OK instead of HTTP/1.1 200 OK", Outcome::kSetFailed,
       "setmotorrange: HTTP/1.0 200 OK instead of HTTP/1.1 200 OK"},
      {"HTTP/1.1 404 Not Found\r\n\r\n", Outcome::kQueryInfoFailed,
       "getmotorrange: HTTP/1.1 404 Not Found", Outcome::kSetFailed,
       "setmotorrange: HTTP/1.1 404 Not Found"},
      {"hello\tthere\x01\r\nHTTP/1.1 404", Outcome::kQueryInfoFailed,
       "getmotorrange: not an HTTP reply: \"hello?there?\"", Outcome::kSetFailed,
       "setmotorrange: not an HTTP reply: \"hello?there?\""},
      {"\r\n\r\n[Succeed]", Outcome::kQueryInfoFailed, "getmotorrange: reply without a status line",
       Outcome::kSetFailed, "setmotorrange: reply without a status line"},
      {std::string("\0HTTP/1.1 200 OK\r\n", 18), Outcome::kQueryInfoFailed,
       "getmotorrange: empty reply", Outcome::kSetFailed, "setmotorrange: empty reply"},
      {longLine + "\r\n\r\n", Outcome::kQueryInfoFailed,
       "getmotorrange: " + longLine.substr(0, 80) + "...", Outcome::kSetFailed,
       "setmotorrange: " + longLine.substr(0, 80) + "..."},
      // The right status but not the confirmation.
      // The dialog shows absent values as clear boxes; the cause says they were never read.
      {"HTTP/1.1 200 OK\r\n\r\nvar chip_type=71;\r\n", Outcome::kQueried,
       "getmotorrange: the reply holds no flip and no mirror value", Outcome::kSetFailed,
       "setmotorrange: no [Succeed] in the reply", Cause::kValuesMissing, Cause::kNoSucceed},
      {"HTTP/1.1 200 OK\r\n\r\nvar flip=\"0\";\r\n[Succeed]", Outcome::kQueried,
       "getmotorrange: the reply holds no mirror value", Outcome::kSetSuccess, "",
       Cause::kValuesMissing, Cause::kNone},
      {"HTTP/1.1 200 OK\r\n\r\n" + std::string(3000, ' ') + kValues.substr(19) + "[Succeed]",
       Outcome::kQueried,
       "getmotorrange: the reply holds no flip and no mirror value (only the first 2048 bytes of "
       "a reply are read)",
       Outcome::kSetFailed,
       "setmotorrange: no [Succeed] in the reply (only the first 2048 bytes of a reply are read)",
       Cause::kValuesMissing, Cause::kNoSucceed},
      // Refused chip types name the value that stopped them.
      {"HTTP/1.1 200 OK\r\n\r\nvar chip_type=74;\r\n", Outcome::kCameraTypeError,
       "information page: chip type 74", Outcome::kSetRefusedSilently,
       "information page: chip type 74", Cause::kChipType, Cause::kChipType},
      {"HTTP/1.0 200 OK\r\n\r\nvar chip_type=72;\r\n", Outcome::kDeviceTypeHV,
       "information page: chip type 72", Outcome::kDeviceTypeHV, "information page: chip type 72",
       Cause::kChipType, Cause::kChipType},
      {kValues + "[Succeed]\r\n", Outcome::kQueried, "", Outcome::kSetSuccess, "", Cause::kNone,
       Cause::kNone},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer(ScriptedPeer::AnswerAndClose(c.reply));
    const QueryResult q = QueryOrientation(At(peer.port()));
    EXPECT_EQ(q.outcome, c.query) << c.reply;
    EXPECT_EQ(Detail(q.failure.detail), c.queryDetail) << c.reply;
    EXPECT_EQ(q.failure.cause, c.queryCause) << c.reply;
    EXPECT_EQ(ValuesRead(q), c.queryCause == Cause::kNone) << c.reply;
    Failure failure;
    failure.detail = "left from before";
    EXPECT_EQ(SetOrientation(At(peer.port()), 1, 1, &failure), c.set) << c.reply;
    EXPECT_EQ(Detail(failure.detail), c.setDetail) << c.reply;
    EXPECT_EQ(failure.cause, c.setCause) << c.reply;
    // Without a place for the detail the outcome is the same.
    EXPECT_EQ(SetOrientation(At(peer.port()), 1, 1), c.set) << c.reply;
  }
}

TEST(ProcedureDetail, NoAnswerTellsRefusedFromTimedOut) {
  const QueryResult nobody = QueryOrientation(At(tiltwise_test::UnusedLoopbackPort()));
  EXPECT_EQ(nobody.outcome, Outcome::kQueryInfoFailed);
  EXPECT_EQ(nobody.failure.cause, Cause::kRefused);
  EXPECT_EQ(Detail(nobody.failure.detail),
            "information page: no answer: connection refused or closed without a reply");

  {
    ScriptedPeer closing(ScriptedPeer::AcceptAndClose());
    Failure failure;
    EXPECT_EQ(SetOrientation(At(closing.port()), 0, 1, &failure), Outcome::kDeviceTypeNVR);
    EXPECT_EQ(failure.request, Request::kSetMotorRange);
    EXPECT_EQ(Detail(failure.detail),
              "setmotorrange: no answer: connection refused or closed without a reply");
  }
  {
    ScriptedPeer silent(ScriptedPeer::AnswerAndStaySilent("", 5000));
    const QueryResult q = QueryOrientation(At(silent.port(), 300));
    EXPECT_EQ(q.outcome, Outcome::kQueryInfoFailed);
    EXPECT_EQ(q.failure.cause, Cause::kTimedOut);
    EXPECT_EQ(Detail(q.failure.detail), "information page: no answer: timed out after 300 ms");
  }

  // Text that is no address never reaches the network.
  CameraAccess typo = At(80);
  typo.ip = "127.0.0.010";
  const QueryResult q = QueryOrientation(typo);
  EXPECT_EQ(q.outcome, Outcome::kQueryInfoFailed);
  EXPECT_EQ(q.failure.cause, Cause::kBadAddress);
  EXPECT_EQ(Detail(q.failure.detail),
            "information page: \"127.0.0.010:80\" is not a dotted-quad IPv4 address with a port "
            "0-65535");

  // 0.0.0.0 would reach a camera listening on this machine; such addresses are no camera's,
  // and the dialog gets its fixed failures without a connection.
  ScriptedPeer here(ScriptedPeer::AnswerAndClose("HTTP/1.1 200 OK\r\n\r\nvar flip=\"1\";"));
  for (const char* none : {"0.0.0.0", "0.0.0.1", "224.0.0.1", "255.255.255.255"}) {
    CameraAccess access = At(here.port());
    access.ip = none;
    const QueryResult r = QueryOrientation(access);
    EXPECT_EQ(r.outcome, Outcome::kQueryInfoFailed) << none;
    EXPECT_EQ(r.failure.cause, Cause::kBadAddress) << none;
    EXPECT_EQ(SetOrientation(access, 1, 1), Outcome::kDeviceTypeNVR) << none;
  }
  EXPECT_EQ(here.Connections(), 0);
}

TEST(ProcedureDetail, SlowRepliesAndTheDeadline) {
  {
    // Each piece within the wait, the whole reply longer than it: the time is worth showing.
    ScriptedPeer slow(ScriptedPeer::InPieces({"HTTP/1.1 404 Not Found\r\n", "\r\n"}, 150));
    const QueryResult q = QueryOrientation(At(slow.port(), 200));
    EXPECT_EQ(q.outcome, Outcome::kQueryInfoFailed);
    EXPECT_EQ(
        Detail(q.failure.detail).rfind("getmotorrange: HTTP/1.1 404 Not Found (26 bytes in ", 0),
        0u)
        << Detail(q.failure.detail);
  }
  {
    // The probe's reply trickles past the deadline; getmotorrange is then never sent.
    ScriptedPeer trickle(ScriptedPeer::InPieces(
        {"HTTP/1.1 200 OK\r\n", "\r\n", "var ", "chip", "_type", "=71;"}, 150));
    CameraAccess camera = At(trickle.port());
    camera.deadlineAtMs = tw::NowMs() + 250;
    const QueryResult q = QueryOrientation(camera);
    EXPECT_EQ(q.outcome, Outcome::kDeviceTypeNVR);
    EXPECT_EQ(q.failure.cause, Cause::kDeadline);
    EXPECT_FALSE(trickle.WaitForConnections(2, 300));
  }
  {
    // Both values came, but the reply was still arriving when the request's own limit ended
    // it: what followed might have said otherwise.
    tiltwise_test::Script script;
    // The peer answers one connection at a time: the second is answered once the first is done.
    script.writes = {{kValues, 0}};
    script.silentMs = 900;
    ScriptedPeer trickle(script);
    CameraAccess camera = At(trickle.port());
    camera.exchangeLimitMs = 600;
    const QueryResult q = QueryOrientation(camera);
    EXPECT_EQ(q.outcome, Outcome::kQueried);
    EXPECT_EQ(q.failure.cause, Cause::kDeadline);
    EXPECT_FALSE(ValuesRead(q));
  }
  {
    CameraAccess late = At(tiltwise_test::UnusedLoopbackPort());
    late.deadlineAtMs = tw::NowMs() - 1;
    Failure failure;
    EXPECT_EQ(SetOrientation(late, 1, 0, &failure), Outcome::kDeviceTypeNVR);
    EXPECT_EQ(Detail(failure.detail), "setmotorrange: cut off by the deadline");
  }
}

}  // namespace

namespace {

// What the scan sorts devices by: the page's typed cause and status, from one request.
TEST(ProbeInfoPage, NamesTheChipOrTheCause) {
  struct Case {
    std::string reply;
    Cause cause;
    int status;
    int chip;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\n\r\nvar chip_type=71;\r\n", Cause::kNone, 0, 71},
      {"HTTP/1.1 401 Unauthorized\r\n\r\n", Cause::kUnauthorized, 401, 0},
      {"HTTP/1.1 403 Forbidden\r\n\r\n", Cause::kBadStatus, 403, 0},
      {"HTTP/1.1 200 OK\r\n\r\n<html>router</html>", Cause::kValuesMissing, 200, 0},
      {"SSH-2.0-banner\r\n", Cause::kBadStatus, 0, 0},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer(ScriptedPeer::AnswerAndClose(c.reply));
    const InfoPage page = ProbeInfoPage(At(peer.port()));
    EXPECT_TRUE(page.answered) << c.reply;
    EXPECT_EQ(page.failure.cause, c.cause) << c.reply;
    EXPECT_EQ(page.failure.httpStatus, c.status) << c.reply;
    EXPECT_EQ(page.chipType, c.chip) << c.reply;
    EXPECT_EQ(peer.Targets(), std::vector<std::string>{"/qx.html"}) << c.reply;
  }
  // A reply that stops short of a whole page within one wait tells nothing about the device.
  ScriptedPeer stalled(ScriptedPeer::AnswerAndStaySilent("HTTP/1.1 200 OK\r\n", 5000));
  const InfoPage page = ProbeInfoPage(At(stalled.port(), 300));
  EXPECT_EQ(page.failure.cause, Cause::kTimedOut);
  EXPECT_EQ(page.failure.httpStatus, 200);
}

// A page read once serves the query: the camera is asked for the motor range only.
TEST(ProbeInfoPage, QueryTakesThePageAlreadyRead) {
  tiltwise_test::Script script;
  script.answers["/qx.html"] = "HTTP/1.1 200 OK\r\n\r\nvar chip_type=72;\r\n";
  script.answers["/param.cgi?cmd=getmotorrange"] = kValues;
  ScriptedPeer peer(script);
  const InfoPage page = ProbeInfoPage(At(peer.port()));
  ASSERT_EQ(page.chipType, 72);
  const QueryResult hv = QueryOrientation(At(peer.port()), page);
  EXPECT_EQ(hv.outcome, Outcome::kDeviceTypeHV);
  EXPECT_EQ(hv.failure.cause, Cause::kChipType);
  EXPECT_EQ(hv.failure.httpStatus, 200);

  InfoPage usable = page;
  usable.reply = "HTTP/1.1 200 OK\r\n\r\nvar chip_type=71;\r\n";
  const QueryResult q = QueryOrientation(At(peer.port()), usable);
  EXPECT_TRUE(ValuesRead(q));
  EXPECT_EQ(q.chipType, 71);
  EXPECT_EQ(q.flip, 1);
  EXPECT_EQ(peer.Targets(), (std::vector<std::string>{"/qx.html", "/param.cgi?cmd=getmotorrange"}));
}

}  // namespace
