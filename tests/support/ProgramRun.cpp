#include "ProgramRun.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void setUpChild(const ProgramOptions& options, int input, int output, int errors)
{
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    for (const auto& [name, value] : options.environment) {
        if (value.empty())
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
    if (!options.user.empty()) {
        const passwd* account = getpwnam(options.user.c_str());
        if (!account || setgroups(0, nullptr) != 0 || setgid(account->pw_gid) != 0 || setuid(account->pw_uid) != 0)
            _exit(126);
        setenv("HOME", account->pw_dir, 1);
        setenv("USER", account->pw_name, 1);
        setenv("LOGNAME", account->pw_name, 1);
    }
}

}

ProgramRun runProgram(const std::vector<std::string>& arguments, const ProgramOptions& options)
{
    ProgramRun run;
    int input[2], output[2], errors[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0) {
        run.errors = "cannot make pipes";
        return run;
    }
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        setUpChild(options, input[0], output[1], errors[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    close(errors[1]);

    // Standard input is written as the program reads it, alongside its output, so that neither
    // side can fill a pipe and stall the other.
    size_t written = 0;
    int inputEnd = input[1];
    signal(SIGPIPE, SIG_IGN);
    if (options.input.empty()) {
        close(inputEnd);
        inputEnd = -1;
    } else {
        fcntl(inputEnd, F_SETFL, O_NONBLOCK);
    }
    pollfd streams[3] = { { output[0], POLLIN, 0 }, { errors[0], POLLIN, 0 }, { inputEnd, POLLOUT, 0 } };
    std::string* sinks[2] = { &run.output, &run.errors };
    int open = 2;
    while (open > 0 && child > 0) {
        auto left = options.timeout - std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (left.count() <= 0) {
            run.timedOut = true;
            kill(child, SIGKILL);
            break;
        }
        if (poll(streams, inputEnd >= 0 ? 3 : 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || !(streams[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t count = read(streams[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                close(streams[i].fd);
                streams[i].fd = -1;
                --open;
            }
        }
        if (inputEnd >= 0 && (streams[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t count = write(inputEnd, options.input.data() + written, options.input.size() - written);
            if (count > 0)
                written += static_cast<size_t>(count);
            if ((count < 0 && errno != EAGAIN && errno != EINTR) || written == options.input.size()) {
                close(inputEnd);
                inputEnd = -1;
            }
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (streams[i].fd >= 0)
            close(streams[i].fd);
    }
    if (inputEnd >= 0)
        close(inputEnd);

    int status = 0;
    rusage usage {};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        run.peakResidentKiB = usage.ru_maxrss;
    }
    run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return run;
}

ProgramOptions withInput(std::string input)
{
    ProgramOptions options;
    options.input = std::move(input);
    return options;
}

std::vector<std::pair<std::string, std::string>> englishLanguageSettings()
{
    return { { "LANGUAGE", "" }, { "LC_ALL", "" }, { "LC_MESSAGES", "" }, { "LANG", "C.UTF-8" } };
}
