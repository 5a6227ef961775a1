// A scripted stand-in for the converter engine, copied into a test's program
// folder as wmaspi.dll.
//
// Each start records its argument list in <own folder>/call-N.args (N counts
// from 1, arguments separated by NUL bytes) and then plays the script
// <own folder>/fake-engine-N.txt, or <own folder>/fake-engine.txt when there is
// no script for that call. Script lines:
//   print <delay ms> <text>   wait, then write the text in one write to stdout;
//                             \r \n \t \\ and \xHH are decoded
//   stderr <delay ms> <text>  the same on stderr
//   sleep <ms>                wait
//   exit <code>               end with that status
//   crash                     die from a signal
//   signals                   write which of SIGTTOU and SIGTTIN are ignored
// Without a script the engine ends at once with status 0.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
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

void pause(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

int main(int argc, char **argv)
{
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();

    int call = 1;
    while (fs::exists(folder / ("call-" + std::to_string(call) + ".args")))
        ++call;
    {
        std::ofstream args(folder / ("call-" + std::to_string(call) + ".args"), std::ios::binary);
        for (int i = 1; i < argc; ++i) {
            args << argv[i];
            args.put('\0');
        }
    }

    fs::path script = folder / ("fake-engine-" + std::to_string(call) + ".txt");
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
        } else if (verb == "crash") {
            std::signal(SIGABRT, SIG_DFL);
            std::abort();
        }
    }
    return 0;
}
