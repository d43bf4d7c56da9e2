#include "devices/android_device_info.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vyx::android_device_info {
namespace {

using OptStr = std::optional<std::string>;

TEST(AndroidDeviceInfoTest, ParseActiveWindow) {
  struct Case {
    std::string dumpsys;
    OptStr package, activity;
  };
  const Case cases[] = {
      {"  mCurrentFocus=Window{1a2b u0 com.example.app/com.example.app.MainActivity}\n", "com.example.app",
       "com.example.app.MainActivity"},
      {"mCurrentFocus=Window{1a2b u0 com.x/.Main$Inner_2}", "com.x", ".Main$Inner_2"},
      // No "/" on the focus line: the next marker decides.
      {"mCurrentFocus=Window{1a2b u0 StatusBar}\n  mFocusedApp=ActivityRecord{9 u0 com.b/.Home t4}\n", "com.b",
       ".Home"},
      // A "/" only on a later line does not count for the marker's line.
      {"mCurrentFocus=null\nother com.c/.X\ntopResumedActivity=ActivityRecord{1 u0 org.d/org.d.A t1}", "org.d",
       "org.d.A"},
      // Empty runs on either side of the "/".
      {"mCurrentFocus= /x\nmFocusedApp=a/ \n", std::nullopt, std::nullopt},
      {"nothing useful\n", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      // Only the first occurrence of a marker is looked at.
      {"mCurrentFocus=null\nmCurrentFocus=Window{u0 com.e/.E}\n", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    const ActiveWindow w = parseActiveWindow(c.dumpsys);
    EXPECT_EQ(w.package, c.package) << c.dumpsys;
    EXPECT_EQ(w.activity, c.activity) << c.dumpsys;
  }
}

TEST(AndroidDeviceInfoTest, ParseWmSize) {
  struct Case {
    std::string output;
    Viewport want;
  };
  const Case cases[] = {
      {"Physical size: 1080x2400\n", {1080, 2400}},
      {"Physical size: 1080x2400\r\nOverride size: 720x1600\n", {1080, 2400}},
      {"Physical size:\t 720 x1280", {720, 1280}},
      {"Override size: 720x1600\n", {0, 0}},
      {"Physical size: 1080\n", {0, 0}},
      {"Physical size: x2400\n", {0, 0}},
      {"Physical size: 1080x\n", {0, 0}},
      {"Physical size: 4294967296x10\n", {0, 0}},
      {"Physical size: 4294967295x4294967295", {4294967295u, 4294967295u}},
      {"", {0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(parseWmSize(c.output), c.want) << c.output;
}

TEST(AndroidDeviceInfoTest, ParseWmDensity) {
  struct Case {
    std::string output;
    std::optional<uint32_t> want;
  };
  const Case cases[] = {
      {"Physical density: 420\n", 420u},
      {"  Physical density: 420 \r\nOverride density: 480\n", 420u},
      {"Override density: 480\nPhysical density: 320", 320u},
      {"Physical density: high\nPhysical density: 420\n", std::nullopt},
      {"Override density: 480\n", std::nullopt},
      {"Physical density: 99999999999\n", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseWmDensity(c.output), c.want) << c.output;
}

}  // namespace
}  // namespace vyx::android_device_info
