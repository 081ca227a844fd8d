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
    int written = 0;
    for (int scale : {1, 2}) {
        skin::setRenderScale(scale);
        skin::SkinWriter out(QString::fromLocal8Bit(argv[1]), scale);
        skin::renderFrames(out);
        skin::renderControls(out);
        skin::renderPictures(out);
        if (out.failed()) return 1;
        written += out.written();
    }
    std::printf("zorvex-skin-render: %d files\n", written);
    return 0;
}
