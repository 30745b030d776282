#include "camsim/Setup.h"

#include <gtest/gtest.h>

#include <functional>

namespace camsim {
namespace {

SimulatorSetup Made(const SimulatorOptions& options) {
  SimulatorSetup setup;
  std::string error;
  EXPECT_TRUE(MakeSetup(options, &setup, &error)) << error;
  return setup;
}

TEST(SetupTest, LaysOutTheCamerasWithTheirOverrides) {
  SimulatorOptions o;
  o.port = 9000;
  o.cameras = 4;
  o.flip = 1;
  o.auth = AuthMode::kDigest;
  o.overrides.push_back({{true, 1}, Fault::kSilent, 72, "op", std::nullopt});
  o.overrides.push_back({{false, 9001}, std::nullopt, 73, std::nullopt, "pw"});
  o.overrides.push_back({{true, 3}, {}, {}, {}, {}, AuthMode::kBasic});
  SimulatorSetup setup = Made(o);
  ASSERT_EQ(setup.cameras.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const CameraPlan& c = setup.cameras[i];
    EXPECT_EQ(c.port, 9000 + static_cast<int>(i));
    EXPECT_EQ(c.address.text, "127.0.0.1");
    EXPECT_EQ(c.orientation.flip, 1);
    EXPECT_EQ(c.orientation.mirror, 0);
  }
  // Later overrides of the same camera win field by field.
  const CameraPlan& one = setup.cameras[1];
  EXPECT_EQ(one.fault, Fault::kSilent);
  EXPECT_EQ(one.settings.chip_type, 73);
  EXPECT_EQ(one.settings.user, "op");
  EXPECT_EQ(one.settings.password, "pw");
  EXPECT_EQ(setup.cameras[0].settings.chip_type, 71);
  EXPECT_EQ(setup.cameras[0].fault, Fault::kNone);
  EXPECT_EQ(setup.cameras[2].settings.auth, AuthMode::kDigest);
  EXPECT_EQ(setup.cameras[3].settings.auth, AuthMode::kBasic);
  EXPECT_EQ(setup.options.cameras, 4);

  o = {};
  o.bind_address = "127.0.0.250";
  o.address_per_camera = true;
  o.cameras = 16;
  o.port = 0;
  setup = Made(o);
  ASSERT_EQ(setup.cameras.size(), 16u);
  EXPECT_EQ(setup.cameras.front().address.text, "127.0.0.250");
  EXPECT_EQ(setup.cameras.back().address.text, "127.0.1.9");
  EXPECT_EQ(setup.cameras.back().address.v4, tw::IPv4Address::Parse("127.0.1.9"));
  EXPECT_EQ(setup.cameras.back().port, 0);

  o = {};
  o.bind_address = "::1";
  o.cameras = 2;
  o.port = 0;
  setup = Made(o);
  EXPECT_FALSE(setup.cameras[1].address.v4);
  EXPECT_EQ(setup.cameras[1].address.v6[15], 1);
  EXPECT_EQ(setup.cameras[1].port, 0);
  EXPECT_EQ(HostPort(setup.cameras[1].address.text, 80), "[::1]:80");
}

TEST(SetupTest, RefusesBadOptionsWithOneMessageEach) {
  const std::pair<std::function<void(SimulatorOptions&)>, std::string> cases[] = {
      {[](auto& o) { o.bind_address = "localhost"; },
       "--bind: not a numeric IPv4 or IPv6 address: 'localhost'"},
      {[](auto& o) { o.bind_address = "127.0.0.010"; },
       "--bind: not a numeric IPv4 or IPv6 address: '127.0.0.010'"},
      {[](auto& o) { o.cameras = 0; }, "--cameras: not a valid number: '0' (expected 1..65535)"},
      {[](auto& o) { o.port = 70000; }, "--port: not a valid number: '70000' (expected 0..65535)"},
      {[](auto& o) { o.mirror = 2; }, "--mirror: not a valid number: '2' (expected 0..1)"},
      {[](auto& o) { o.lockout_after = -1; },
       "--lockout-after: not a valid number: '-1' (expected 0..1000000)"},
      {[](auto& o) { o.request_timeout = {}; },
       "times must be positive (the restart time may be 0)"},
      {[](auto& o) { o.port = 65000, o.cameras = 1000; },
       "--cameras 1000 from port 65000 goes beyond port 65535"},
      {[](auto& o) {
         o.overrides.push_back({{false, 8081}, Fault::kClose, {}, {}, {}});
       },
       "no camera listens on port 8081 (ports 8080..8080)"},
      {[](auto& o) {
         o.cameras = 3;
         o.overrides.push_back({{true, 3}, Fault::kClose, {}, {}, {}});
       },
       "camera @3 does not exist (there are 3 cameras, counted from @0)"},
      {[](auto& o) {
         o.port = 0;
         o.overrides.push_back({{false, 8080}, Fault::kClose, {}, {}, {}});
       },
       "with --port 0 the ports are not known in advance: name cameras as @INDEX"},
      {[](auto& o) {
         o.address_per_camera = true;
         o.overrides.push_back({{false, 8080}, Fault::kClose, {}, {}, {}});
       },
       "with --hosts every camera listens on the same port: name cameras as @INDEX"},
      {[](auto& o) { o.address_per_camera = true, o.bind_address = "::1"; },
       "one camera per address needs an IPv4 address, not ::1"},
      {[](auto& o) {
         o.address_per_camera = true, o.bind_address = "255.255.255.250", o.cameras = 7;
       },
       "7 addresses from 255.255.255.250 go beyond 255.255.255.255"},
  };
  for (const auto& [change, message] : cases) {
    SimulatorOptions o;
    change(o);
    SimulatorSetup setup;
    std::string error;
    EXPECT_FALSE(MakeSetup(o, &setup, &error)) << message;
    EXPECT_EQ(error, message);
    EXPECT_TRUE(setup.cameras.empty());
  }
}

}  // namespace
}  // namespace camsim
