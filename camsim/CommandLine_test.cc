#include "camsim/CommandLine.h"

#include <gtest/gtest.h>

namespace camsim {
namespace {

bool Parse(std::vector<std::string> args, CommandLine* out, std::string* error) {
  return ParseCommandLine(args, out, error);
}

std::string ErrorOf(std::vector<std::string> args) {
  CommandLine cl;
  std::string error;
  EXPECT_FALSE(ParseCommandLine(args, &cl, &error)) << "accepted: " << args[0];
  return error;
}

TEST(CommandLineTest, EveryOption) {
  CommandLine cl;
  std::string error;
  // Without options: one camera as the setup's defaults, logged to standard output only.
  ASSERT_TRUE(Parse({}, &cl, &error)) << error;
  EXPECT_FALSE(cl.help);
  EXPECT_TRUE(cl.setup.options.print_requests);
  EXPECT_EQ(cl.setup.options.log_capacity, 0u);
  ASSERT_EQ(cl.setup.cameras.size(), 1u);
  EXPECT_EQ(cl.setup.cameras[0].port, 8080);

  ASSERT_TRUE(Parse({"--bind",
                     "::1",
                     "--base-port=9000",
                     "--cameras",
                     "10",
                     "--user",
                     "u",
                     "--password=p=q",
                     "--chip-type",
                     "-5",
                     "--flip",
                     "1",
                     "--mirror=1",
                     "--no-info-page",
                     "--http10",
                     "--reboot-seconds",
                     "3",
                     "--quiet",
                     "--fault",
                     "9001:silent",
                     "--fault=@2:trickle",
                     "--chip-type-at",
                     "9003:72",
                     "--user-at",
                     "@4:op",
                     "--password-at",
                     "9005:a:b",
                     "--fault=@6:dropset",
                     "--flip-text",
                     "2",
                     "--mirror-text=on"},
                    &cl, &error))
      << error;
  const SimulatorOptions& o = cl.setup.options;
  EXPECT_EQ(o.bind_address, "::1");
  EXPECT_EQ(o.port, 9000);
  EXPECT_EQ(o.cameras, 10);
  EXPECT_EQ(o.user, "u");
  EXPECT_EQ(o.password, "p=q");
  EXPECT_EQ(o.chip_type, -5);
  EXPECT_EQ(o.flip, 1);
  EXPECT_EQ(o.flip_text, "2");
  EXPECT_EQ(o.mirror_text, "on");
  EXPECT_EQ(o.mirror, 1);
  EXPECT_FALSE(o.info_page);
  EXPECT_TRUE(o.http10);
  EXPECT_EQ(o.reboot_time.count(), 3000);
  EXPECT_FALSE(o.print_requests);
  ASSERT_EQ(o.overrides.size(), 6u);
  EXPECT_FALSE(o.overrides[0].camera.by_index);
  EXPECT_EQ(o.overrides[0].camera.value, 9001);
  EXPECT_EQ(o.overrides[0].fault, Fault::kSilent);
  EXPECT_TRUE(o.overrides[1].camera.by_index);
  EXPECT_EQ(o.overrides[1].camera.value, 2);
  EXPECT_EQ(o.overrides[1].fault, Fault::kTrickle);
  EXPECT_EQ(o.overrides[2].chip_type, 72);
  EXPECT_EQ(o.overrides[3].user, "op");
  EXPECT_EQ(o.overrides[4].password, "a:b");
  EXPECT_EQ(o.overrides[5].fault, Fault::kDropSet);
  EXPECT_FALSE(o.overrides[4].fault);

  ASSERT_TRUE(Parse({"-h"}, &cl, &error));
  EXPECT_TRUE(cl.help);
}

TEST(CommandLineTest, RejectsBadUsageWithClearMessages) {
  EXPECT_EQ(ErrorOf({"--frobnicate"}), "unknown option: --frobnicate");
  EXPECT_EQ(ErrorOf({"8080"}), "unexpected argument: 8080");
  EXPECT_EQ(ErrorOf({"--port"}), "--port needs a value");
  EXPECT_EQ(ErrorOf({"--http10=1"}), "--http10 takes no value");
  EXPECT_EQ(ErrorOf({"--port", "80a"}), "--port: not a valid number: '80a' (expected 0..65535)");
  EXPECT_EQ(ErrorOf({"--port", "65536"}),
            "--port: not a valid number: '65536' (expected 0..65535)");
  EXPECT_EQ(ErrorOf({"--flip", "2"}), "--flip: not a valid number: '2' (expected 0..1)");
  EXPECT_EQ(ErrorOf({"--mirror", ""}), "--mirror: not a valid number: '' (expected 0..1)");
  EXPECT_EQ(ErrorOf({"--cameras", "0"}), "--cameras: not a valid number: '0' (expected 1..65535)");
  EXPECT_EQ(ErrorOf({"--reboot-seconds", "-1"}),
            "--reboot-seconds: not a valid number: '-1' (expected 0..86400)");
  EXPECT_EQ(ErrorOf({"--chip-type", "99999999999"}).substr(0, 26), "--chip-type: not a valid n");
  // The options pass the setup's checks too.
  EXPECT_EQ(ErrorOf({"--bind", "localhost"}),
            "--bind: not a numeric IPv4 or IPv6 address: 'localhost'");
  EXPECT_EQ(ErrorOf({"--cameras", "3", "--fault", "@3:close"}),
            "camera @3 does not exist (there are 3 cameras, counted from @0)");
  EXPECT_EQ(ErrorOf({"--fault", "8080:slow"}),
            "--fault 8080:slow: unknown kind 'slow' (expected silent, close, trickle, oversize, "
            "novalues, reset, dropset, slowset, forget or twice)");
  EXPECT_EQ(ErrorOf({"--flip-text", "1\"; var x=\"2"}),
            "--flip-text: give a text without quotes or line ends: '1\"; var x=\"2'");
  EXPECT_EQ(ErrorOf({"--fault", "8080"}), "--fault 8080: expected PORT:VALUE or @INDEX:VALUE");
  EXPECT_EQ(ErrorOf({"--fault", "@x:close"}),
            "--fault @x:close: expected PORT:VALUE or @INDEX:VALUE");
  EXPECT_EQ(ErrorOf({"--chip-type-at", "8080:seven"}),
            "--chip-type-at: not a valid number: 'seven' (expected -2147483648..2147483647)");
  EXPECT_EQ(ErrorOf({"--port", "9000", "--base-port", "9000"}),
            "--port and --base-port both set the first port; give one of them");
}

TEST(CommandLineTest, LoginModesAndNonceLifetime) {
  CommandLine cl;
  std::string error;
  ASSERT_TRUE(Parse({"--auth", "digest", "--cameras", "2", "--auth-at", "@1:digest-sha256",
                     "--nonce-lifetime", "7"},
                    &cl, &error))
      << error;
  EXPECT_EQ(cl.setup.options.auth, AuthMode::kDigest);
  ASSERT_EQ(cl.setup.options.overrides.size(), 1u);
  EXPECT_EQ(cl.setup.options.overrides[0].auth, AuthMode::kDigestSha256);
  EXPECT_EQ(cl.setup.options.nonce_lifetime, std::chrono::seconds(7));
  EXPECT_EQ(ErrorOf({"--auth", "ntlm"}),
            "--auth: unknown mode 'ntlm' (expected basic, digest, digest-sha256 or any)");
  EXPECT_EQ(ErrorOf({"--auth-at", "@0:md5"}),
            "--auth-at @0:md5: unknown mode 'md5' (expected basic, digest, digest-sha256 or any)");
  EXPECT_EQ(ErrorOf({"--nonce-lifetime", "0"}),
            "--nonce-lifetime: not a valid number: '0' (expected 1..86400)");
  RequestRecord record{8080, "GET", "/qx.html", 200, Fault::kNone, {}, "digest"};
  EXPECT_EQ(FormatRecord(record), "8080 GET /qx.html 200 digest");
}

TEST(CommandLineTest, HostsTakeOnlyLoopbackDottedQuads) {
  CommandLine cl;
  std::string error;
  ASSERT_TRUE(Parse({"--hosts", "127.0.0.250-127.0.1.9", "--port", "9000", "--fault", "@14:silent",
                     "--lockout-after", "3"},
                    &cl, &error))
      << error;
  EXPECT_EQ(cl.setup.options.bind_address, "127.0.0.250");
  EXPECT_EQ(cl.setup.options.cameras, 16);
  EXPECT_TRUE(cl.setup.options.address_per_camera);
  EXPECT_EQ(cl.setup.options.lockout_after, 3);
  ASSERT_EQ(cl.setup.cameras.size(), 16u);
  EXPECT_EQ(cl.setup.cameras[15].address.text, "127.0.1.9");
  EXPECT_EQ(cl.setup.cameras[14].fault, Fault::kSilent);

  const std::string shape = ": expected FIRST-LAST, two dotted-quad addresses";
  for (const char* range :
       {"127.0.0.1", "127.0.0.010-127.0.0.20", "127.1-127.0.0.9", "127.0.0.1-127.0.0.256",
        "127.0.0.1-127.0.0.0x9", " 127.0.0.1-127.0.0.2", "127.0.0.1-127.0.0.2 ",
        "127.0.0.1--127.0.0.2"}) {
    EXPECT_EQ(ErrorOf({"--hosts", range}), std::string("--hosts ") + range + shape);
  }
  EXPECT_EQ(ErrorOf({"--hosts", "0.0.0.1-0.0.0.9"}),
            "--hosts 0.0.0.1-0.0.0.9: the addresses must lie in 127.0.0.0/8 (loopback)");
  EXPECT_EQ(ErrorOf({"--hosts", "127.255.255.255-128.0.0.0"}),
            "--hosts 127.255.255.255-128.0.0.0: the addresses must lie in 127.0.0.0/8 (loopback)");
  EXPECT_EQ(ErrorOf({"--hosts", "127.0.0.9-127.0.0.1"}),
            "--hosts 127.0.0.9-127.0.0.1: expected FIRST <= LAST, at most 65535 addresses");
  EXPECT_EQ(ErrorOf({"--hosts", "127.0.0.1-127.0.0.9", "--cameras", "9"}),
            "--hosts gives one camera per address; drop --cameras");
  EXPECT_EQ(ErrorOf({"--bind", "127.0.0.1", "--hosts", "127.0.0.1-127.0.0.9"}),
            "--hosts gives one camera per address; drop --bind");
}

}  // namespace
}  // namespace camsim
