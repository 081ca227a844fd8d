#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zorvex::test {

// A program started by a test, its standard output and error in one file.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& outputFile);
    ~ChildProcess();  // kills a child that is still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }
    void signal(int number);
    // The exit status, or nullopt if the child is still running after the bound
    // (or ended by a signal).
    std::optional<int> waitForExit(std::chrono::milliseconds bound = std::chrono::seconds(30));
    std::string output() const;
    // Waits until the output holds the text.
    bool waitForOutput(const std::string& text,
                       std::chrono::milliseconds bound = std::chrono::seconds(30)) const;

private:
    int pid_ = -1;
    bool reaped_ = false;
    std::string outputFile_;
};

}  // namespace zorvex::test
