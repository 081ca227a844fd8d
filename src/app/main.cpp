// zorvex: the headless service, free of Qt; a windowed start becomes the
// window program (window_main.cpp).
#include "app/program_main.h"

int main(int argc, char** argv) {
    return zorvex::runProgram(argc, argv, nullptr);
}
