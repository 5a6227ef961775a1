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
//                             \r \n \t \\ and \xHH are decoded, and {output}
//                             becomes the output's path (a conversion's)
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
//   output <time> [audio]     (conversion) rewrite the output as fake media of that
//                             length (h:m:s), without a picture when "audio" follows
//   damaged <bytes>           (conversion) rewrite the output as that many bytes
//                             that are no media at all
//   no-output                 (conversion) remove the output
// Without a script the engine ends at once with status 0.
//
// A conversion (a start with -y) writes its output, the last argument, as soon
// as it starts: fake media, a few lines of text that the fake engine reads back.
// Its length is the -t value when there is one, else the input's when the input
// is fake media, else the first "Duration: " the script prints; it has a picture
// when the input has one or the script prints "Video:". Fake media is made by
// tests with WriteFakeMedia (programfolder.h).
//
// A probe of fake media (a start without -y whose input is fake media) is how
// the program checks an output: it plays no script, prints the report the real
// engine would, and is recorded in check-N.args instead, so that call numbers
// and call-N.args count the starts a test scripts. It waits first as the
// "sleep <ms>" and "wait-for <name>" lines of <own folder>/fake-engine-check.txt say.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

const std::string FakeMediaMagic = "VANTORIX-FAKE-MEDIA";

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool isFakeMedia(const std::string &content)
{
    return content.rfind(FakeMediaMagic + "\n", 0) == 0;
}

// The text after `key` up to the end of its line or a comma, a blank or an escaped
// line end (in a script).
std::string valueAfter(const std::string &text, const std::string &key)
{
    const auto at = text.find(key);
    if (at == std::string::npos)
        return {};
    const auto begin = at + key.size();
    auto end = text.find_first_of(",\n\r \\", begin);
    return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

struct Media
{
    std::string duration; // empty: unknown
    bool video = false;
};

void writeMedia(const std::string &path, const Media &media)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << FakeMediaMagic << "\n";
    if (!media.duration.empty())
        out << "Duration: " << media.duration << "\n";
    if (media.video)
        out << "Video: fake, yuv420p, 320x240\n";
}

std::string secondsAsTime(const std::string &seconds)
{
    const double value = std::atof(seconds.c_str());
    const int whole = static_cast<int>(value);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%05.2f", whole / 3600, whole / 60 % 60, value - whole / 60 * 60);
    return text;
}

// Prints what the real engine says about a file when asked with -i alone.
int reportOn(const std::string &path, const std::string &content)
{
    const std::string duration = valueAfter(content, "Duration: ");
    std::string report = "Input #0, fake, from '" + path + "':\n  Duration: "
                         + (duration.empty() ? std::string("N/A") : duration) + ", start: 0.000000, bitrate: 1 kb/s\n";
    if (content.find("\nVideo: ") != std::string::npos)
        report += "  Stream #0:0: Video: fake, yuv420p, 320x240, 25 fps\n";
    report += "  Stream #0:1: Audio: fake, 44100 Hz, stereo\nAt least one output file must be specified\n";
    writeAll(2, report);
    return 1;
}

// Takes the first free number for `prefix`-N.args and records the arguments there.
int record(const fs::path &folder, const std::string &prefix, int argc, char **argv)
{
    int number = 1;
    int fd = -1;
    for (; fd < 0 && number < 100000; ++number)
        fd = ::open((folder / (prefix + "-" + std::to_string(number) + ".args")).c_str(), O_WRONLY | O_CREAT | O_EXCL,
                    0644);
    std::string recorded;
    for (int i = 1; i < argc; ++i) {
        recorded += argv[i];
        recorded += '\0';
    }
    writeAll(fd, recorded);
    ::close(fd);
    return number - 1;
}

} // namespace

int main(int argc, char **argv)
{
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();

    std::string inputPath;
    std::string seconds;
    bool conversion = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-i" && i + 1 < argc)
            inputPath = argv[i + 1];
        else if (argument == "-t" && i + 1 < argc)
            seconds = argv[i + 1];
        else if (argument == "-y")
            conversion = true;
    }
    const std::string input = fs::path(inputPath).filename().string();
    const std::string inputContent = inputPath.empty() ? std::string() : readFile(inputPath);
    if (!conversion && isFakeMedia(inputContent)) {
        record(folder, "check", argc, argv);
        std::ifstream wait(folder / "fake-engine-check.txt");
        for (std::string line; std::getline(wait, line);) {
            if (line.rfind("sleep ", 0) == 0)
                pause(std::atoi(line.c_str() + 6));
            else if (line.rfind("wait-for ", 0) == 0)
                for (int waited = 0; waited < 30000 && !fs::exists(folder / line.substr(9)); waited += 10)
                    pause(10);
        }
        return reportOn(inputPath, inputContent);
    }

    // The number is taken by creating its file: two engines never share one.
    const int call = record(folder, "call", argc, argv);

    fs::path script = folder / ("fake-engine-for-" + input + ".txt");
    if (input.empty() || !fs::exists(script))
        script = folder / ("fake-engine-" + std::to_string(call) + ".txt");
    if (!fs::exists(script))
        script = folder / "fake-engine.txt";

    const std::string output = conversion && argc > 1 ? argv[argc - 1] : std::string();
    if (conversion) {
        const std::string scriptText = readFile(script);
        Media media;
        if (isFakeMedia(inputContent)) {
            media.duration = valueAfter(inputContent, "Duration: ");
            media.video = inputContent.find("\nVideo: ") != std::string::npos;
        } else {
            media.duration = valueAfter(scriptText, "Duration: ");
            media.video = scriptText.find("Video:") != std::string::npos;
        }
        if (!seconds.empty())
            media.duration = secondsAsTime(seconds);
        writeMedia(output, media);
    }

    std::ifstream in(script);
    std::string line;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (verb == "print" || verb == "stderr") {
            const auto gap = rest.find(' ');
            pause(std::atoi(rest.substr(0, gap).c_str()));
            std::string text = gap == std::string::npos ? std::string() : decode(rest.substr(gap + 1));
            for (auto at = text.find("{output}"); at != std::string::npos; at = text.find("{output}", at + output.size()))
                text.replace(at, 8, output);
            writeAll(verb == "print" ? 1 : 2, text);
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
        } else if (verb == "output" && !output.empty()) {
            const auto gap = rest.find(' ');
            writeMedia(output, {rest.substr(0, gap), gap == std::string::npos || rest.substr(gap + 1) != "audio"});
        } else if (verb == "damaged" && !output.empty()) {
            std::ofstream(output, std::ios::binary | std::ios::trunc) << std::string(std::atoi(rest.c_str()), 'z');
        } else if (verb == "no-output" && !output.empty()) {
            fs::remove(output);
        } else if (verb == "crash") {
            std::signal(SIGABRT, SIG_DFL);
            std::abort();
        }
    }
    return 0;
}
