// zorvex-screenshot [--scale N] [--scene NAME]... OUT_FOLDER | --list
// Renders the scenes of scenes.cpp to OUT_FOLDER/<name>.png (<name>@2x.png at
// scale 2), each from scratch in a working folder of its own.
#include <QApplication>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "platform/utf8_locale.h"
#include "scenes.h"
#include "support/test_support.h"

using namespace zorvex;

namespace {

int usage() {
    std::fputs("usage: zorvex-screenshot [--scale 1|2] [--scene NAME]... OUT_FOLDER | --list\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int scale = 1;
    std::vector<std::string> chosen;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--list") {
            for (const auto& scene : screenshot::scenes())
                std::printf("%-20s %s\n", scene.name, scene.description);
            return 0;
        }
        if (arg == "--scale" && i + 1 < argc) {
            scale = std::atoi(argv[++i]);
        } else if (arg == "--scene" && i + 1 < argc) {
            chosen.push_back(argv[++i]);
        } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
            out = arg;
        } else {
            return usage();
        }
    }
    if (out.empty() || (scale != 1 && scale != 2)) return usage();
    // Before the application exists: Qt reads them once.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QT_SCALE_FACTOR", std::to_string(scale).c_str(), 1);
    EnsureUtf8Locale();
    QApplication app(argc, argv);
    QDir().mkpath(QString::fromStdString(out));

    int failed = 0;
    for (const auto& scene : screenshot::scenes()) {
        if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), scene.name) == chosen.end())
            continue;
        const QString file = QString::fromStdString(out) + QLatin1Char('/') +
                             QString::fromLatin1(scene.name) +
                             (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
        try {
            test::TempDir work;
            const QImage image = scene.render(work.path());
            if (image.isNull() || !image.save(file)) throw std::runtime_error("nothing to save");
            std::printf("%s\n", qPrintable(file));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zorvex-screenshot: %s: %s\n", scene.name, e.what());
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
