// Stands in for the application in a crash: starts a long child through
// Subprocess, prints the child's pid and waits to be killed.
#include <unistd.h>

#include <cstdio>

#include "platform/subprocess.h"

int main() {
    auto child = zorvex::Subprocess::start({"sleep", "300"}).process;
    if (!child) return 1;
    std::printf("%d\n", static_cast<int>(child->pid()));
    std::fflush(stdout);
    for (;;) ::pause();
}
