// The simulator as the scan tests start it: free ports, one password, cameras picked by index.
// Header-only: for suites that link the simulator's library.
#ifndef TILTWISE_TESTS_SCANPEERS_H_
#define TILTWISE_TESTS_SCANPEERS_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "camsim/CameraSim.h"

namespace tiltwise_test {

constexpr char kScanPassword[] = "S3cret-Pa55word";

inline std::unique_ptr<camsim::CameraSimulator> StartSim(camsim::SimulatorOptions o) {
  o.port = 0;
  o.password = kScanPassword;
  auto sim = std::make_unique<camsim::CameraSimulator>(std::move(o));
  std::string error;
  EXPECT_TRUE(sim->Start(&error)) << error;
  return sim;
}

inline camsim::CameraOverride At(int index) {
  camsim::CameraOverride o;
  o.camera.by_index = true;
  o.camera.value = index;
  return o;
}

}  // namespace tiltwise_test

#endif  // TILTWISE_TESTS_SCANPEERS_H_
