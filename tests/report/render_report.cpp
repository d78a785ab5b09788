// Renders a QC report with headless Chromium and checks that it rendered:
//
//   render_report SUMMARY.html --rows N [--page K:TRACES]... [--png SUMMARY.png]
//                 [--page-png K PAGE.png] [--timing ROUNDS] [--chromium PATH]
//
// The summary must render with N subject rows, each with a sparkline and a
// link to its page in the folder beside it, and every linked page must exist.
// Each --page K:TRACES renders subject K's page, whose figure must hold that
// many traces. Pages are rendered in a window much taller than them and the
// screenshot trimmed to the page: its height must be plausible and the picture
// not blank. The time each render took is printed (a measurement, not a
// check). --png and --page-png keep the screenshots. --timing measures, after
// the checks, how long a screenshot of a 1100 x 1200 window of the summary
// and of each checked page takes, the median of ROUNDS runs, and the same for
// an empty page: the difference is the page's own load and render time,
// without Chromium's start.
//
// Exit status 0 when it rendered as expected, 1 when not, 2 for bad usage and
// 77 (a skipped test to ctest) when Chromium is not installed.
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kWindowWidth = 1100;
constexpr int kSkipped = 77;

struct PageCheck {
  int subject = 0;  // from 1
  int traces = 0;
  std::string png;
};

struct Options {
  std::string report;
  int rows = -1;
  std::vector<PageCheck> pages;
  std::string png;
  int timingRounds = 0;
  std::string chromium = "/usr/bin/chromium";
};

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--rows" && i + 1 < argc) {
      options.rows = std::atoi(argv[++i]);
    } else if (argument == "--page" && i + 1 < argc) {
      PageCheck page;
      if (std::sscanf(argv[++i], "%d:%d", &page.subject, &page.traces) != 2) return false;
      options.pages.push_back(page);
    } else if (argument == "--page-png" && i + 2 < argc) {
      const int subject = std::atoi(argv[++i]);
      bool found = false;
      for (PageCheck& page : options.pages) {
        if (page.subject == subject) {
          page.png = argv[i + 1];
          found = true;
        }
      }
      ++i;
      if (!found) return false;
    } else if (argument == "--png" && i + 1 < argc) {
      options.png = argv[++i];
    } else if (argument == "--timing" && i + 1 < argc) {
      options.timingRounds = std::atoi(argv[++i]);
    } else if (argument == "--chromium" && i + 1 < argc) {
      options.chromium = argv[++i];
    } else if (options.report.empty() && argument.rfind("--", 0) != 0) {
      options.report = argument;
    } else {
      return false;
    }
  }
  return !options.report.empty() && options.rows >= 0;
}

// Runs Chromium headless on `url` with `extra` arguments and a fresh profile;
// its standard output goes to `outputFile`. True when it exited with 0.
bool runChromium(const Options& options, const fs::path& workDir, const std::string& url,
                 const std::vector<std::string>& extra, const fs::path& outputFile) {
  static int runs = 0;
  const fs::path profile = workDir / ("profile" + std::to_string(++runs));
  std::vector<std::string> arguments = {options.chromium,
                                        "--headless",
                                        "--no-sandbox",
                                        "--disable-gpu",
                                        "--disable-quic",
                                        "--no-first-run",
                                        "--disable-background-networking",
                                        "--disable-component-update",
                                        "--disable-sync",
                                        "--hide-scrollbars",
                                        "--force-device-scale-factor=1",
                                        "--user-data-dir=" + profile.string()};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  arguments.push_back(url);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::cout.flush();
  std::fflush(nullptr);  // else the child would write our buffered output again
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    if (!freopen(outputFile.c_str(), "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* pixel(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  }
};

bool readPng(const fs::path& path, Picture& picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

bool writePng(const std::string& path, const Picture& picture, int height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, picture.rgb.data(), 0, nullptr) != 0;
}

bool isBackground(const unsigned char* p) { return p[0] >= 250 && p[1] >= 250 && p[2] >= 250; }

// The number of rows down to the last one that is not all background.
int contentHeight(const Picture& picture) {
  for (int y = picture.height - 1; y >= 0; --y) {
    for (int x = 0; x < picture.width; ++x) {
      if (!isBackground(picture.pixel(x, y))) return y + 1;
    }
  }
  return 0;
}

// Renders `url` into a window of the given height and returns the picture.
bool screenshot(const Options& options, const fs::path& workDir, const std::string& url,
                int windowHeight, Picture& picture, double* seconds) {
  const fs::path png = workDir / "screenshot.png";
  fs::remove(png);
  const auto start = std::chrono::steady_clock::now();
  const bool ran = runChromium(
      options, workDir, url,
      {"--window-size=" + std::to_string(kWindowWidth) + "," + std::to_string(windowHeight),
       "--screenshot=" + png.string()},
      workDir / "screenshot.log");
  if (seconds != nullptr) {
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  return ran && readPng(png, picture);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t countOf(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

// The traces of each subject figure in Chromium's DOM of a page.
std::vector<int> figureTraces(const std::string& dom) {
  const std::string open = "<figure class=\"subject\"";
  std::vector<int> found;
  for (std::size_t at = dom.find(open); at != std::string::npos; at = dom.find(open, at + 1)) {
    const std::size_t end = dom.find("</figure>", at);
    const std::string figure = dom.substr(at, end == std::string::npos ? end : end - at);
    found.push_back(figure.find("<svg") == std::string::npos
                        ? -1
                        : static_cast<int>(countOf(figure, "class=\"trace ")));
  }
  return found;
}

// The subject pages the summary's DOM links to, in order.
std::vector<std::string> pageLinks(const std::string& dom) {
  std::vector<std::string> links;
  const std::string open = "<a href=\"";
  for (std::size_t at = dom.find(open); at != std::string::npos; at = dom.find(open, at + 1)) {
    const std::size_t start = at + open.size();
    const std::string href = dom.substr(start, dom.find('"', start) - start);
    if (href.find("/subject-") != std::string::npos) links.push_back(href);
  }
  return links;
}

// Checks the summary's DOM: its rows, sparklines and links, and that every
// linked page exists beside it.
bool checkSummaryDom(const std::string& dom, int rows, const fs::path& summary) {
  bool good = true;
  const auto expect = [&](const char* what, std::size_t found) {
    if (static_cast<int>(found) == rows) return;
    std::cerr << "render_report: " << found << " " << what << " in the rendered summary, expected "
              << rows << '\n';
    good = false;
  };
  expect("subject rows", countOf(dom, "<tr class=\"subject-row\""));
  expect("sparklines", countOf(dom, "<svg class=\"sparkline\""));
  const std::vector<std::string> links = pageLinks(dom);
  expect("links to subject pages", links.size());
  for (const std::string& link : links) {
    if (!fs::exists(summary.parent_path() / link)) {
      std::cerr << "render_report: the summary links to " << link << ", which is not there\n";
      good = false;
    }
  }
  if (figureTraces(dom).size() != 0) {
    std::cerr << "render_report: the summary holds subject figures\n";
    good = false;
  }
  return good;
}

// Checks that the picture shows something: enough drawn pixels in enough colours.
bool checkNotBlank(const Picture& picture, int height) {
  std::size_t drawn = 0;
  std::set<unsigned int> colours;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const unsigned char* p = picture.pixel(x, y);
      if (!isBackground(p)) ++drawn;
      if (colours.size() < 4096) colours.insert((p[0] << 16) | (p[1] << 8) | p[2]);
    }
  }
  const double fraction =
      static_cast<double>(drawn) / (static_cast<double>(picture.width) * height);
  std::cout << "render_report: " << fraction * 100 << " % of the page drawn, " << colours.size()
            << (colours.size() == 4096 ? "+" : "") << " colours\n";
  if (fraction < 0.02 || colours.size() < 32) {
    std::cerr << "render_report: the page looks blank\n";
    return false;
  }
  return true;
}

// Renders `page`: its DOM into `dom`, and a screenshot whose drawn height
// must lie in [minimumHeight, the window); prints the time it took.
bool renderPage(const Options& options, const fs::path& workDir, const fs::path& page,
                int windowHeight, int minimumHeight, const std::string& png, std::string& dom) {
  const std::string url = "file://" + page.string();
  if (!runChromium(options, workDir, url, {"--dump-dom"}, workDir / "dom.html")) {
    std::cerr << "render_report: chromium --dump-dom failed on " << page << '\n';
    return false;
  }
  dom = readFile(workDir / "dom.html");
  Picture picture;
  double seconds = 0;
  if (!screenshot(options, workDir, url, windowHeight, picture, &seconds)) {
    std::cerr << "render_report: chromium --screenshot failed on " << page << '\n';
    return false;
  }
  const int height = contentHeight(picture);
  std::cout << "render_report: " << page.filename().string() << " (" << fs::file_size(page)
            << " bytes) rendered in " << seconds << " s; height " << height << " px at "
            << kWindowWidth << " px wide\n";
  bool good = true;
  if (height < minimumHeight || height >= windowHeight - 10) {
    std::cerr << "render_report: a height of " << height << " px is implausible for "
              << page.filename().string() << '\n';
    good = false;
  }
  good = checkNotBlank(picture, std::max(height, 1)) && good;
  if (!png.empty() && !writePng(png, picture, std::max(height, 1))) {
    std::cerr << "render_report: could not write " << png << '\n';
    good = false;
  }
  return good;
}

// The median time of `rounds` screenshots of `url` in an ordinary window.
double medianRenderSeconds(const Options& options, const fs::path& workDir, const std::string& url,
                           int rounds) {
  std::vector<double> times;
  for (int r = 0; r < rounds; ++r) {
    Picture picture;
    double seconds = 0;
    if (!screenshot(options, workDir, url, 1200, picture, &seconds)) return -1;
    times.push_back(seconds);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void printTimings(const Options& options, const fs::path& workDir, const fs::path& summary,
                  const std::vector<fs::path>& pages) {
  const fs::path blank = workDir / "blank.html";
  std::ofstream(blank) << "<!DOCTYPE html><html><body></body></html>\n";
  const double base = medianRenderSeconds(options, workDir, "file://" + blank.string(),
                                          options.timingRounds);
  std::cout << "render_report: timing, median of " << options.timingRounds
            << " screenshots (1100 x 1200): empty page " << base << " s\n";
  std::vector<fs::path> all = {summary};
  all.insert(all.end(), pages.begin(), pages.end());
  for (const fs::path& page : all) {
    const double seconds =
        medianRenderSeconds(options, workDir, "file://" + page.string(), options.timingRounds);
    std::cout << "render_report: timing " << page.filename().string() << " ("
              << fs::file_size(page) << " bytes): " << seconds << " s, " << seconds - base
              << " s more than the empty page\n";
  }
}

int run(const Options& options) {
  const fs::path report = fs::absolute(options.report);
  if (!fs::exists(report)) {
    std::cerr << "render_report: no report at " << report << '\n';
    return 1;
  }
  std::string pattern = (fs::temp_directory_path() / "render_report.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::cerr << "render_report: no temporary folder\n";
    return 1;
  }
  const fs::path workDir = pattern;
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  } cleanup{workDir};

  // A window far taller than any plausible page, so that the page's height
  // shows as the drawn rows: a summary row is about 50 px high.
  std::string dom;
  bool good = renderPage(options, workDir, report, 1500 + 120 * options.rows, 400 + 30 * options.rows,
                         options.png, dom);
  good = checkSummaryDom(dom, options.rows, report) && good;
  const std::vector<std::string> links = pageLinks(dom);
  std::vector<fs::path> checked;
  for (const PageCheck& check : options.pages) {
    if (check.subject < 1 || check.subject > static_cast<int>(links.size())) {
      std::cerr << "render_report: the summary has no link to subject " << check.subject << '\n';
      good = false;
      continue;
    }
    std::string pageDom;
    const fs::path page = report.parent_path() / links[static_cast<std::size_t>(check.subject - 1)];
    checked.push_back(page);
    good = renderPage(options, workDir, page, 6000, 800, check.png, pageDom) && good;
    const std::vector<int> traces = figureTraces(pageDom);
    if (traces != std::vector<int>{check.traces}) {
      std::cerr << "render_report: subject " << check.subject << "'s page has " << traces.size()
                << " figures with";
      for (int count : traces) std::cerr << ' ' << count;
      std::cerr << " traces; expected one with " << check.traces << '\n';
      good = false;
    }
  }
  std::cout << "render_report: " << (good ? "rendered as expected" : "FAILED") << '\n';
  if (options.timingRounds > 0) printTimings(options, workDir, report, checked);
  return good ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::cerr << "usage: render_report SUMMARY.html --rows N [--page K:TRACES]... [--png PNG]\n"
                 "                     [--page-png K PNG] [--chromium PATH]\n";
    return 2;
  }
  if (access(options.chromium.c_str(), X_OK) != 0) {
    std::cout << "render_report: skipped, " << options.chromium
              << " is not installed (Debian package chromium)\n";
    return kSkipped;
  }
  return run(options);
}
