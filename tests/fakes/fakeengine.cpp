// A scripted stand-in for the converter engine, copied into a test's program
// folder as wmaspi.dll.
//
// Each start records its argument list in <own folder>/call-N.args (N counts
// from 1, arguments separated by NUL bytes; engines started side by side each
// get a number of their own) and then plays the first script that exists of
// <own folder>/fake-engine-for-NAME.txt (NAME: the file name of the argument
// after -i), <own folder>/fake-engine-N.txt and <own folder>/fake-engine.txt.
// Script lines:
//   print <delay ms> <text>   wait, then write the text in one write to stdout;
//                             \r \n \t \\ and \xHH are decoded
//   stderr <delay ms> <text>  the same on stderr
//   sleep <ms>                wait
//   exit <code>               end with that status
//   crash                     die from a signal
//   signals                   write which of SIGTTOU and SIGTTIN are ignored
//   touch <name>              create the file <own folder>/<name>
//   wait-for <name>           wait until <own folder>/<name> exists (30 s at most)
//   pid <name>                write "<pid> <process group>" to <own folder>/<name>
//   ignore-term               ignore SIGTERM from now on, creating the file
//                             <own folder>/term-received at each one
//   fork-sleeper <name>       start a process of its own that writes "pid pgid"
//                             to <own folder>/<name> and sleeps a minute
//   process                   write whether it leads its process group, what
//                             its standard input is and its parent-death signal
// Without a script the engine ends at once with status 0.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string decode(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'x':
            if (i + 2 < text.size()) {
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            }
            break;
        default: out += c; break;
        }
    }
    return out;
}

void writeAll(int fd, const std::string &data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// Where the SIGTERM handler of "ignore-term" leaves its mark.
char s_termReceived[4096];

void pause(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

int main(int argc, char **argv)
{
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();

    // The number is taken by creating its file: two engines never share one.
    int call = 1;
    int fd = -1;
    for (; fd < 0 && call < 100000; ++call)
        fd = ::open((folder / ("call-" + std::to_string(call) + ".args")).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    --call;
    std::string recorded;
    std::string input;
    for (int i = 1; i < argc; ++i) {
        recorded += argv[i];
        recorded += '\0';
        if (std::string(argv[i]) == "-i" && i + 1 < argc)
            input = fs::path(argv[i + 1]).filename().string();
    }
    writeAll(fd, recorded);
    ::close(fd);

    fs::path script = folder / ("fake-engine-for-" + input + ".txt");
    if (input.empty() || !fs::exists(script))
        script = folder / ("fake-engine-" + std::to_string(call) + ".txt");
    if (!fs::exists(script))
        script = folder / "fake-engine.txt";
    std::ifstream in(script);
    std::string line;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (verb == "print" || verb == "stderr") {
            const auto gap = rest.find(' ');
            pause(std::atoi(rest.substr(0, gap).c_str()));
            writeAll(verb == "print" ? 1 : 2, gap == std::string::npos ? std::string() : decode(rest.substr(gap + 1)));
        } else if (verb == "sleep") {
            pause(std::atoi(rest.c_str()));
        } else if (verb == "exit") {
            return std::atoi(rest.c_str());
        } else if (verb == "signals") {
            for (const auto &[number, name] : {std::pair{SIGTTOU, "SIGTTOU"}, std::pair{SIGTTIN, "SIGTTIN"}}) {
                struct sigaction action {};
                sigaction(number, nullptr, &action);
                writeAll(1, std::string(name) + (action.sa_handler == SIG_IGN ? " ignored\n" : " default\n"));
            }
        } else if (verb == "touch") {
            std::ofstream(folder / rest).put('\n');
        } else if (verb == "wait-for") {
            for (int waited = 0; waited < 30000 && !fs::exists(folder / rest); waited += 10)
                pause(10);
        } else if (verb == "pid") {
            // Written under another name first: a reader never sees half of it.
            const fs::path target = folder / rest;
            std::ofstream(target.string() + ".part") << ::getpid() << ' ' << ::getpgrp() << '\n';
            fs::rename(target.string() + ".part", target);
        } else if (verb == "process") {
            std::error_code error;
            const fs::path input = fs::read_symlink("/proc/self/fd/0", error);
            int deathSignal = 0;
            ::prctl(PR_GET_PDEATHSIG, &deathSignal);
            writeAll(1, std::string("group ") + (::getpgrp() == ::getpid() ? "leader" : "member") + "\nstdin "
                            + (error ? std::string("none") : input.string()) + "\nparent-death "
                            + std::to_string(deathSignal) + "\n");
        } else if (verb == "fork-sleeper") {
            const fs::path target = folder / rest;
            if (::fork() == 0) {
                std::ofstream(target.string() + ".part") << ::getpid() << ' ' << ::getpgrp() << '\n';
                fs::rename(target.string() + ".part", target);
                pause(60000);
                std::_Exit(0);
            }
        } else if (verb == "ignore-term") {
            const std::string received = (folder / "term-received").string();
            std::snprintf(s_termReceived, sizeof s_termReceived, "%s", received.c_str());
            std::signal(SIGTERM, [](int) { ::close(::open(s_termReceived, O_WRONLY | O_CREAT, 0644)); });
        } else if (verb == "crash") {
            std::signal(SIGABRT, SIG_DFL);
            std::abort();
        }
    }
    return 0;
}
