#include "camsim/Setup.h"

#include <arpa/inet.h>

#include <cstdint>

namespace camsim {
namespace {

bool InRange(long value, NumberRange range) {
  return value >= range.min && value <= range.max;
}

// The checks of single numbers; the command line never lets these through.
bool CheckNumbers(const SimulatorOptions& o, std::string* error) {
  struct Field {
    const char* option;
    long value;
    NumberRange range;
  };
  const Field fields[] = {{"--cameras", o.cameras, kCameraCountRange},
                          {"--port", o.port, kPortRange},
                          {"--flip", o.flip, kSwitchRange},
                          {"--mirror", o.mirror, kSwitchRange},
                          {"--lockout-after", o.lockout_after, kLockoutRange}};
  for (const Field& f : fields) {
    if (!InRange(f.value, f.range)) {
      *error = NumberError(f.option, std::to_string(f.value), f.range);
      return false;
    }
  }
  if (o.reboot_time.count() < 0 || o.request_timeout.count() <= 0 ||
      o.trickle_interval.count() <= 0 || o.max_request_bytes == 0) {
    *error = "times must be positive (the restart time may be 0)";
    return false;
  }
  return true;
}

// The cameras' addresses and ports, before any override.
bool LayOut(const SimulatorOptions& o, std::vector<CameraPlan>* cameras, std::string* error) {
  std::optional<ListenAddress> address = ListenAddress::Parse(o.bind_address);
  if (!address) {
    *error = "--bind: not a numeric IPv4 or IPv6 address: '" + o.bind_address + "'";
    return false;
  }
  const auto count = static_cast<std::uint32_t>(o.cameras);
  if (o.address_per_camera) {
    if (!address->v4) {
      *error = "one camera per address needs an IPv4 address, not " + o.bind_address;
      return false;
    }
    if (0xffffffffu - address->v4->hostOrder() < count - 1) {
      *error = std::to_string(o.cameras) + " addresses from " + o.bind_address +
               " go beyond 255.255.255.255";
      return false;
    }
  } else if (o.port != 0 && o.port + o.cameras - 1 > kPortRange.max) {
    *error = "--cameras " + std::to_string(o.cameras) + " from port " + std::to_string(o.port) +
             " goes beyond port 65535";
    return false;
  }
  cameras->assign(count, CameraPlan{});
  for (std::uint32_t i = 0; i < count; ++i) {
    CameraPlan& c = (*cameras)[i];
    c.address = *address;
    if (o.address_per_camera) {
      tw::IPv4Address host = tw::IPv4Address::FromHostOrder(address->v4->hostOrder() + i);
      c.address.v4 = host;
      c.address.text = host.ToString();
      c.port = o.port;
    } else {
      c.port = o.port == 0 ? 0 : o.port + static_cast<int>(i);
    }
    c.settings.chip_type = o.chip_type;
    c.settings.user = o.user;
    c.settings.password = o.password;
    c.settings.info_page = o.info_page;
    c.settings.http10 = o.http10;
    c.settings.auth = o.auth;
    c.settings.flip_text = o.flip_text;
    c.settings.mirror_text = o.mirror_text;
    c.orientation = {o.flip, o.mirror};
  }
  return true;
}

// The camera an override names; -1 with `error` when there is none.
int CameraIndex(const SimulatorOptions& o, CameraSelector camera, std::string* error) {
  const std::string value = std::to_string(camera.value);
  if (camera.by_index) {
    if (camera.value >= 0 && camera.value < o.cameras) return camera.value;
    *error = "camera @" + value + " does not exist (there are " + std::to_string(o.cameras) +
             " cameras, counted from @0)";
  } else if (o.address_per_camera) {
    *error = "with --hosts every camera listens on the same port: name cameras as @INDEX";
  } else if (o.port == 0) {
    *error = "with --port 0 the ports are not known in advance: name cameras as @INDEX";
  } else if (camera.value < o.port || camera.value > o.port + o.cameras - 1) {
    *error = "no camera listens on port " + value + " (ports " + std::to_string(o.port) + ".." +
             std::to_string(o.port + o.cameras - 1) + ")";
  } else {
    return camera.value - o.port;
  }
  return -1;
}

}  // namespace

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kNone:
      return "none";
    case Fault::kSilent:
      return "silent";
    case Fault::kClose:
      return "close";
    case Fault::kTrickle:
      return "trickle";
    case Fault::kOversize:
      return "oversize";
    case Fault::kNoValues:
      return "novalues";
    case Fault::kReset:
      return "reset";
    case Fault::kDropSet:
      return "dropset";
    case Fault::kSlowSet:
      return "slowset";
    case Fault::kForget:
      return "forget";
    case Fault::kTwice:
      return "twice";
  }
  return "none";
}

bool ParseFault(std::string_view name, Fault* fault) {
  for (Fault f : {Fault::kNone, Fault::kSilent, Fault::kClose, Fault::kTrickle, Fault::kOversize,
                  Fault::kNoValues, Fault::kReset, Fault::kDropSet, Fault::kSlowSet, Fault::kForget,
                  Fault::kTwice}) {
    if (name == FaultName(f)) {
      *fault = f;
      return true;
    }
  }
  return false;
}

std::string NumberError(std::string_view option, std::string_view text, NumberRange range) {
  return std::string(option) + ": not a valid number: '" + std::string(text) + "' (expected " +
         std::to_string(range.min) + ".." + std::to_string(range.max) + ")";
}

std::optional<ListenAddress> ListenAddress::Parse(const std::string& text) {
  ListenAddress address;
  address.text = text;
  address.v4 = tw::IPv4Address::Parse(text);
  if (address.v4 || inet_pton(AF_INET6, text.c_str(), address.v6.data()) == 1) return address;
  return std::nullopt;
}

std::string HostPort(const std::string& host, int port) {
  bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool MakeSetup(SimulatorOptions options, SimulatorSetup* out, std::string* error) {
  SimulatorSetup setup;
  if (!CheckNumbers(options, error) || !LayOut(options, &setup.cameras, error)) return false;
  for (const CameraOverride& ov : options.overrides) {
    int index = CameraIndex(options, ov.camera, error);
    if (index < 0) return false;
    CameraPlan& c = setup.cameras[static_cast<size_t>(index)];
    if (ov.fault) c.fault = *ov.fault;
    if (ov.chip_type) c.settings.chip_type = *ov.chip_type;
    if (ov.user) c.settings.user = *ov.user;
    if (ov.password) c.settings.password = *ov.password;
    if (ov.auth) c.settings.auth = *ov.auth;
  }
  setup.options = std::move(options);
  *out = std::move(setup);
  return true;
}

}  // namespace camsim
