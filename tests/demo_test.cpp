// The demo job end to end: the demo program run small, then its output and
// files checked, the drum against the image generated from the same seed.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "demo_image.h"

namespace {

// The demo's exit status; what it printed goes to *out.
int RunDemo(const std::string& args, std::string* out = nullptr) {
  FILE* pipe = popen((std::string(CARDN5_DEMO) + " " + args + " 2>&1").c_str(), "r");
  char buf[4096];
  for (size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
    if (out) out->append(buf, n);
  const int status = pipe ? pclose(pipe) : -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

demo::Picture ReadPng(const std::string& path, uint32_t channels) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return {};
  png.format = channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  demo::Picture picture(png.width, png.height, channels);
  if (!png_image_finish_read(&png, nullptr, picture.data.data(), 0, nullptr)) return {};
  return picture;
}

TEST(DemoJob, DrumShowsTheGeneratedImageAndEveryFileIsWritten) {
  char dirTemplate[] = "/tmp/cardn5_demo_XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  std::string out;
  ASSERT_EQ(RunDemo("--rows 40 --blocks 2 --scan-rows 6 --seed 7 --out " + dir, &out), 0) << out;

  const demo::Picture drum = ReadPng(dir + "/cardn5-drum.png", 1);
  const demo::Picture image = demo::MakeJobImage(40 + 2 * demo::kBlockRows, 7);
  ASSERT_EQ((std::pair{drum.width, drum.height}), (std::pair{demo::kImageWidth, 72u}));
  for (uint32_t y = 0; y < drum.height; ++y)
    ASSERT_EQ(std::string(drum.Row(y), drum.Row(y) + drum.width), std::string(image.Row(y), image.Row(y) + 64))
        << "row " << y << (y < 40 ? " (EPU)" : " (MBU)");
  const demo::Picture scan = ReadPng(dir + "/cardn5-scan.png", 3);
  EXPECT_EQ((std::pair{scan.width, scan.height}), (std::pair{128u, 6u}));
  for (const char* vcd : {"/cardn5-ports.vcd", "/cardn5-ports-mbu.vcd"}) {
    std::string header;
    std::getline(std::ifstream(dir + vcd), header);
    EXPECT_EQ(header, "$timescale 1ns $end") << vcd;
    EXPECT_GT(std::filesystem::file_size(dir + vcd), 1000u) << vcd;
  }

  std::smatch calls;
  ASSERT_TRUE(std::regex_search(out, calls, std::regex("exports called: +([0-9]+) calls of ([0-9]+) exports")));
  EXPECT_GT(std::stoul(calls[1]), 40u + 4u * 39u) << "each row and each stepper step is a call";
  EXPECT_TRUE(std::regex_search(out, std::regex("virtual / wall: +[0-9]+\\.[0-9]")));
  // Not a terminal: plain progress lines.
  EXPECT_NE(out.find("  EPU rows: 40/40 (100%)"), std::string::npos);
  EXPECT_EQ(out.find('\r'), std::string::npos);
  std::filesystem::remove_all(dir);
}

TEST(DemoJob, HelpSucceedsAndBadOptionsAreRefused) {
  EXPECT_EQ(RunDemo("--help"), 0);
  for (const char* bad : {"--rows 0", "--rows x", "--seed", "--colour red"}) EXPECT_EQ(RunDemo(bad), 2) << bad;
}

}  // namespace
