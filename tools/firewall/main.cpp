// zorvex-firewall firewalld ZONE | zorvex-firewall ufw
//
// Lets phones reach TCP 11717 and 11718 through the firewall, using the
// firewalld service and the ufw profile that the package ships. It runs as
// root on a user's word (pkexec, polkit action com.zorvex.assistant.firewall),
// so it knows two fixed commands, takes nothing from the caller but the zone
// name, and runs its tools by absolute path with an environment of its own.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/firewall.h"

namespace {

constexpr int kRefused = 2;
constexpr int kFailed = 1;

int refuse(const char* reason) {
    std::fprintf(stderr, "zorvex-firewall: refused: %s\n", reason);
    return kRefused;
}

std::string toolPath(const std::string& name) {
    for (const char* folder : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
        std::string path = std::string(folder) + "/" + name;
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

// Runs one step with our output and error as its own, so that the caller
// reads the tool's words; true when it exits 0.
bool run(const std::vector<std::string>& step) {
    std::string path = toolPath(step[0]);
    if (path.empty()) {
        std::fprintf(stderr, "zorvex-firewall: %s not found\n", step[0].c_str());
        return false;
    }
    std::vector<char*> argv;
    argv.reserve(step.size() + 1);
    for (const auto& a : step) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    char* environment[] = {const_cast<char*>("PATH=/usr/sbin:/usr/bin:/sbin:/bin"),
                           const_cast<char*>("LC_ALL=C.UTF-8"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "zorvex-firewall: cannot run %s: %s\n", path.c_str(),
                     std::strerror(rc));  // NOLINT(concurrency-mt-unsafe): one thread
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    if (WIFEXITED(status)) {
        std::fprintf(stderr, "zorvex-firewall: %s exited with %d\n", step[0].c_str(),
                     WEXITSTATUS(status));
    } else {
        std::fprintf(stderr, "zorvex-firewall: %s ended by signal %d\n", step[0].c_str(),
                     WTERMSIG(status));
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    std::vector<std::vector<std::string>> steps;
    if (args.size() == 2 && args[0] == "firewalld") {
        if (!zorvex::firewallZoneNameValid(args[1]))
            return refuse("a zone name is 1-17 of A-Z a-z 0-9 _ - and does not start with -");
        steps = {{"firewall-cmd", "--permanent", "--zone=" + std::string(args[1]),
                  "--add-service=zorvex"},
                 {"firewall-cmd", "--reload"}};
    } else if (args.size() == 1 && args[0] == "ufw") {
        steps = {{"ufw", "allow", "zorvex"}};
    } else {
        return refuse("usage: zorvex-firewall firewalld ZONE | zorvex-firewall ufw");
    }
    if (::geteuid() != 0) {
        std::fprintf(stderr, "zorvex-firewall: runs as root, through pkexec\n");
        return kFailed;
    }
    ::umask(022);  // the zone files firewall-cmd writes stay root's alone to change
    for (const auto& step : steps)
        if (!run(step)) return kFailed;
    return 0;
}
