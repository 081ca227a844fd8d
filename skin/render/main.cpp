// Renders the skin: every image the windows load from SkinRes/.
#include <QGuiApplication>

#include <cstdio>

#include "art.h"
#include "skin_writer.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zorvex-skin-render SKINRES_FOLDER\n");
        return 2;
    }
    skin::SkinWriter out(QString::fromLocal8Bit(argv[1]));
    skin::renderFrames(out);
    skin::renderControls(out);
    skin::renderPictures(out);
    if (out.failed()) return 1;
    std::printf("zorvex-skin-render: %d files\n", out.written());
    return 0;
}
