// Fuzz target: multi-environment descriptions through the profile reader and the opening of
// an environment set, with two small node images beside them and a first image request.
#include <string>

#include "data/environment_set.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvp::fuzz::Quiet();
  kvp::fuzz::WriteNodeImages();
  const std::string path = kvp::fuzz::WriteFile("tour.ini", data, size);

  const platform::ProfileFile profile(path.c_str());
  char text[256];
  profile.ReadString(nullptr, nullptr, "", text, sizeof text);
  profile.ReadString("Directory", nullptr, "", text, sizeof text);
  profile.ReadString("Kestrelvue", "VERSION", "x ", text, sizeof text);
  profile.ReadInt("Kestrelvue", "Environment Count", 0);

  kvp::EnvironmentSet set;
  kvp::ViewPose start{}, minimum{}, maximum{};
  char error[256];
  if (set.OpenEnvironments(path.c_str(), error, start, minimum, maximum, nullptr, nullptr) > 0) {
    kvp::ViewPose centre{};
    const uint8_t* image = nullptr;
    int32_t environment = 0;
    set.RequestImage(start, centre, image, environment, kvp::kMovementNormal);
  }
  return 0;
}
