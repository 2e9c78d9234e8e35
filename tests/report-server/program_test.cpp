// The quorva-report-server program itself, run as a child process.

#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using quorva::testkit::TempDir;

class Program {
public:
    explicit Program(std::vector<std::string> args) {
        args.insert(args.begin(), QUORVA_REPORT_SERVER_EXE);
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
        if (failed != 0)
            throw std::runtime_error("cannot start " + args.front());
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    // The next line of standard output; empty when the program closed it or stayed silent for
    // ten seconds.
    std::string readLine() {
        std::string line;
        char c;
        pollfd ready{out_, POLLIN, 0};
        while (::poll(&ready, 1, 10000) == 1 && ::read(out_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    void signal(int number) { ::kill(pid_, number); }

    // Waits up to ten seconds for the end; the exit code, or 128 + signal number. A program
    // still running then fails the test and is killed.
    int wait() {
        int status = 0;
        for (int tries = 0; ::waitpid(pid_, &status, WNOHANG) == 0; ++tries) {
            if (tries == 1000) {
                ADD_FAILURE() << "the program is still running";
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            ::usleep(10000);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string rest(bool ofErrors) {
        std::string text;
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(ofErrors ? err_ : out_, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(got));
        return text;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

TEST(ReportServerProgramTest, SecondServerOnTheSamePortFailsAndSignalsStopCleanly) {
    TempDir dir;
    Program first({"--port", "0", "--data", dir.file("a")});
    const std::string listening = first.readLine();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(
        listening, match,
        std::regex(R"(listening on http://127\.0\.0\.1:(\d+)/KelbBin/Kelb\.dll/)")))
        << listening;
    const std::string port = match[1];

    Program second({"--port", port, "--data", dir.file("b")});
    EXPECT_NE(second.wait(), 0);
    const std::string errors = second.rest(true);
    EXPECT_NE(errors.find("cannot listen on 127.0.0.1:" + port + ": Address already in use"),
              std::string::npos)
        << errors;

    for (const int sig : {SIGTERM, SIGINT}) {
        Program server({"--port", "0", "--data", dir.file("a")});
        ASSERT_NE(server.readLine(), "");
        server.signal(sig);
        EXPECT_EQ(server.wait(), 0) << "signal " << sig;
        EXPECT_EQ(server.rest(false), "stopped\n");
    }
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(), 0);
}

TEST(ReportServerProgramTest, StartFailuresExitWithAMessage) {
    TempDir dir;
    const std::string file = dir.write("plain-file", "");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--port", "0", "--data", file + "/data"}, 1, "cannot use the data folder " + file},
        {{"--port", "0", "--bind", "no-such-host.invalid", "--token", "t", "--data", dir.file("d")},
         1,
         "cannot listen on no-such-host.invalid:0"},
        {{"--port", "0", "--bind", "0.0.0.0", "--data", dir.file("d")},
         2,
         "--bind 0.0.0.0 reaches beyond this machine: give --token"},
        {{"--port", "99999"}, 2, "--port needs a number from 0 to 65535, not 99999\nUsage:"},
    };
    for (const Case& c : cases) {
        Program program(c.args);
        EXPECT_EQ(program.wait(), c.exitCode) << c.message;
        const std::string errors = program.rest(true);
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
    }
}

} // namespace
