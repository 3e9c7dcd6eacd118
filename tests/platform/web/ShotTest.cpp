// The automation's "shot" of a window with browsers: the picture is taken once every browser in
// the window shows its page painted, also when the pages arrive slowly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "AutomatedProgram.h"
#include "HttpTestServer.h"
#include "TestEnvironment.h"

using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;

namespace {

namespace fs = std::filesystem;

// A page of one background colour with large text on it, sent after a delay.
HttpReply Page(const std::string& colour, const std::string& text, int delayMs) {
  HttpReply r = HttpReply::Text("<html><body style='margin:0;background:" + colour +
                                ";color:#fff;font:bold 64px sans-serif'>" + text + "</body></html>");
  r.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  r.headDelayMs = delayMs;
  return r;
}

// Pixels of the part of the picture near the colour, and of any other colour.
struct Count {
  int near = 0, other = 0;
};
Count CountColour(const QImage& image, int left, int right, QColor colour) {
  Count c;
  for (int y = 8; y < image.height() - 8; ++y)
    for (int x = left + 8; x < right - 8; ++x) {
      QColor p = image.pixelColor(x, y);
      bool near = std::abs(p.red() - colour.red()) < 16 && std::abs(p.green() - colour.green()) < 16 &&
                  std::abs(p.blue() - colour.blue()) < 16;
      ++(near ? c.near : c.other);
    }
  return c;
}

class ShotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("web-shot-" + std::to_string(getpid()));
    fs::create_directories(dir);
    script = dir / "script.txt";
    picture = dir / "shot.png";
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the program until it ends or its script fails, at most about 90 s; the script's log.
  std::string Run(const std::string& one, const std::string& two) {
    testsupport::AutomatedProgram program({WEB_SHOT_CHILD, one, two}, script.string(), dir.string());
    EXPECT_TRUE(program.Started());
    std::string log;
    program.Finish(90000, [&] {
      log = testsupport::ReadUnix(script.string() + ".log");
      return log.find(" fail ") != std::string::npos;
    });
    return testsupport::ReadUnix(script.string() + ".log");
  }

  fs::path dir, script, picture;
};

TEST_F(ShotTest, ThePictureWaitsForEveryBrowserOfTheWindowToPaintItsPage) {
  const QColor red(0xc0, 0x30, 0x30), blue(0x30, 0x50, 0xc0);
  HttpTestServer server([&](const HttpRequest& req) {
    if (req.path == "/one.html") return Page(red.name().toStdString(), "One", 1000);
    if (req.path == "/two.html") return Page(blue.name().toStdString(), "Two", 3000);
    if (req.path == "/blank.html") return HttpReply::Text("<html><body></body></html>");
    if (req.path == "/white.html") return Page("#ffffff", "W", 0);
    if (req.path == "/never.html") return Page("#3050c0", "Late", 120000);
    return HttpReply::Status(404, "Not Found");
  });
  const std::string unreachable = "http://127.0.0.1:" + std::to_string(HttpTestServer::UnusedPort()) + "/";
  struct Case {
    const char* name;
    std::string one, two;
    int shotTimeout;
    std::string outcome;          // the log's line for the shot, after its file
    QColor colourOne, colourTwo;  // invalid: not looked at
  };
  const std::string done = "\n";
  const Case cases[] = {
      // The second page arrives well after the first one has loaded.
      {"two slow pages", server.Url("/one.html"), server.Url("/two.html"), 60, done, red, blue},
      // Asked for again while it loads: the second request joins the load in progress.
      {"a page asked for again while it loads", "again:" + server.Url("/one.html"), server.Url("/two.html"), 60,
       done, red, blue},
      // Nothing to wait for: an empty page and a page that failed, or no page at all.
      {"an empty page and a failed load", server.Url("/blank.html"), unreachable, 60, done, QColor(), QColor()},
      {"an empty page and no page", server.Url("/blank.html"), "-", 60, done, QColor(), QColor()},
      // Within the bound: text the colour of its page never shows, a page that never arrives.
      {"a page drawn in one colour", server.Url("/white.html"), "-", 3,
       ": frmShot.cwbOne shows its page as one colour\n", QColor(), QColor()},
      {"a page that does not come", server.Url("/blank.html"), server.Url("/never.html"), 3,
       ": frmShot.cwbTwo has not painted its page\n", QColor(), QColor()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(picture);
    fs::remove(script.string() + ".log");
    std::ofstream(script) << "[web_shot_child]\ntimeout 60\nwait frmShot\nwaitload frmShot.cwbOne\ntimeout "
                          << c.shotTimeout << "\nshot frmShot " << picture.string() << "\nclose frmShot\n";
    std::string log = Run(c.one, c.two);
    bool saved = c.outcome == done;
    ASSERT_NE(log.find((saved ? "ok shot frmShot " : "fail shot frmShot ") + picture.string() + c.outcome),
              std::string::npos)
        << log;
    if (!saved) {
      EXPECT_FALSE(fs::exists(picture));
      continue;
    }
    QImage image(QString::fromStdString(picture.string()));
    ASSERT_FALSE(image.isNull());
    // Browser one takes the first 240 pixels of the client area, browser two the rest.
    ASSERT_GT(image.width(), 400);
    const int edges[] = {0, 240, image.width()};
    const QColor colours[] = {c.colourOne, c.colourTwo};
    for (int i = 0; i < 2; ++i) {
      if (!colours[i].isValid()) continue;
      SCOPED_TRACE(i == 0 ? "browser one" : "browser two");
      Count count = CountColour(image, edges[i], edges[i + 1], colours[i]);
      // The page's background and its text, not a blank pane.
      EXPECT_GT(count.near, count.other) << log;
      EXPECT_GT(count.other, 100) << log;
    }
  }
}

}  // namespace
