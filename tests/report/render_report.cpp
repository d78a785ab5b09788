// Renders a QC report with headless Chromium and checks that it rendered:
//
//   render_report REPORT.html --traces 9,10,9 [--png PAGE.png]
//                 [--section ID SECTION.png] [--chromium PATH]
//
// --traces lists the expected number of traces of each subject's figure (one
// number per subject). The page is rendered in a window much taller than it
// and the screenshot trimmed to the page: its height must be plausible for
// that many subjects and the picture not blank. Chromium's own DOM of the page
// must hold one <figure class="subject"> per subject with the expected traces.
// --section writes a screenshot of one part of the page alone, the element of
// the body with that id ("summary", "subject-2"), the others hidden by a style
// sheet added to a copy of the page.
//
// Exit status 0 when it rendered as expected, 1 when not, 2 for bad usage and
// 77 (a skipped test to ctest) when Chromium is not installed.
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

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

struct Options {
  std::string report;
  std::vector<int> traces;
  std::string png;
  std::string section;
  std::string sectionPng;
  std::string chromium = "/usr/bin/chromium";
};

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--traces" && i + 1 < argc) {
      std::stringstream list(argv[++i]);
      std::string item;
      while (std::getline(list, item, ',')) options.traces.push_back(std::atoi(item.c_str()));
    } else if (argument == "--png" && i + 1 < argc) {
      options.png = argv[++i];
    } else if (argument == "--section" && i + 2 < argc) {
      options.section = argv[++i];
      options.sectionPng = argv[++i];
    } else if (argument == "--chromium" && i + 1 < argc) {
      options.chromium = argv[++i];
    } else if (options.report.empty() && argument.rfind("--", 0) != 0) {
      options.report = argument;
    } else {
      return false;
    }
  }
  return !options.report.empty() && !options.traces.empty() &&
         (options.sectionPng.empty() || !options.section.empty());
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

// Checks Chromium's DOM of the page: one subject figure per expected entry,
// each with its number of traces.
bool checkDom(const std::string& dom, const std::vector<int>& expected) {
  const std::string open = "<figure class=\"subject\"";
  std::vector<int> found;
  for (std::size_t at = dom.find(open); at != std::string::npos; at = dom.find(open, at + 1)) {
    const std::size_t end = dom.find("</figure>", at);
    const std::string figure = dom.substr(at, end == std::string::npos ? end : end - at);
    found.push_back(static_cast<int>(countOf(figure, "class=\"trace ")));
    if (figure.find("<svg") == std::string::npos) {
      std::cerr << "render_report: a subject figure has no SVG\n";
      return false;
    }
  }
  if (found != expected) {
    std::cerr << "render_report: traces per figure in the rendered page:";
    for (int count : found) std::cerr << ' ' << count;
    std::cerr << " (" << found.size() << " figures); expected:";
    for (int count : expected) std::cerr << ' ' << count;
    std::cerr << '\n';
    return false;
  }
  return true;
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

  const int subjects = static_cast<int>(options.traces.size());
  const std::string url = "file://" + report.string();
  if (!runChromium(options, workDir, url, {"--dump-dom"}, workDir / "dom.html")) {
    std::cerr << "render_report: chromium --dump-dom failed\n";
    return 1;
  }
  bool good = checkDom(readFile(workDir / "dom.html"), options.traces);

  // A window far taller than any plausible page, so that the page's height
  // shows as the drawn rows.
  const int windowHeight = 1500 + 1900 * subjects;
  Picture page;
  double seconds = 0;
  if (!screenshot(options, workDir, url, windowHeight, page, &seconds)) {
    std::cerr << "render_report: chromium --screenshot failed\n";
    return 1;
  }
  const int height = contentHeight(page);
  std::cout << "render_report: rendered in " << seconds << " s; page height " << height << " px at "
            << kWindowWidth << " px wide\n";
  if (height < 500 * subjects || height >= windowHeight - 10) {
    std::cerr << "render_report: a page height of " << height << " px is implausible for "
              << subjects << " subjects\n";
    good = false;
  }
  good = checkNotBlank(page, std::max(height, 1)) && good;
  if (!options.png.empty() && !writePng(options.png, page, std::max(height, 1))) {
    std::cerr << "render_report: could not write " << options.png << '\n';
    good = false;
  }

  if (!options.sectionPng.empty()) {
    std::string html = readFile(report);
    const std::size_t head = html.find("</head>");
    if (head == std::string::npos) {
      std::cerr << "render_report: the report has no </head>\n";
      return 1;
    }
    html.insert(head, "<style>body > * { display: none !important; } body > #" + options.section +
                          " { display: block !important; }</style>\n");
    const fs::path copy = workDir / "section.html";
    std::ofstream(copy, std::ios::binary) << html;
    Picture section;
    if (!screenshot(options, workDir, "file://" + copy.string(), 3000, section, nullptr)) {
      std::cerr << "render_report: the section's screenshot failed\n";
      return 1;
    }
    const int sectionHeight = contentHeight(section);
    if (sectionHeight < 300 || !writePng(options.sectionPng, section, sectionHeight)) {
      std::cerr << "render_report: no picture of the part " << options.section << '\n';
      good = false;
    }
  }
  std::cout << "render_report: " << (good ? "rendered as expected" : "FAILED") << '\n';
  return good ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::cerr << "usage: render_report REPORT.html --traces N,N,... [--png PAGE.png]\n"
                 "                     [--section ID SECTION.png] [--chromium PATH]\n";
    return 2;
  }
  if (access(options.chromium.c_str(), X_OK) != 0) {
    std::cout << "render_report: skipped, " << options.chromium
              << " is not installed (Debian package chromium)\n";
    return kSkipped;
  }
  return run(options);
}
