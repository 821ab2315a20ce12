// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// Runs the built tool in a scratch folder per case and checks standard output
// byte for byte, the exit status and what is left at the target path.
//
// --tool=PATH and --emulator=COMMAND run another build of the tool (for
// example a Windows one under wine, or another architecture's under qemu;
// COMMAND's words are separated by spaces); --console=windows then expects
// CR LF line ends and the console's OEM byte for the accented letter, and
// skips the cases that only exist on POSIX systems.
//
// Natively, strace (Debian package strace) fails the tool's system calls or
// slows its writes down, so that every call can be made to fail in turn and an
// interrupt can be sent while the image is being written.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "scratch_dir.h"

namespace {

namespace fs = std::filesystem;

// ---- expected console output, written with '\n' and UTF-8 ----

const std::string usage_text =
    "\nTavimo maakt een zeer eenvoudige TGA-afbeelding van een huidige waarde ten\n"
    "opzichte van een hoogste en laagste waarde.\n\nGebruik:\n\n"
    "   Tavimo.EXE <doelbestand> <breedte> <hoogte> <hoog> <laag> <huidige>\n\nBijvoorbeeld:\n\n"
    "   TAVIMO.EXE \"C:\\Grafiek aandeel.TGA\" 120 16 8,1 4,735 6.97\n\n"
    "Een eventueel al bestaand doelbestand wordt overschreven. De minimale breedte\n"
    "is 3. De minimale hoogte is 1. De afgeraden maximale grootte is telkens 8192.\n"
    "Een komma \xC3\xB3"
    "f een punt is een geldig decimaal scheidingsteken in alle waardes.\n";

std::string deleted(const std::string& path) { return "\nAl bestaande doelbestand \"" + path + "\" is gewist.\n"; }

std::string cannot_delete(const std::string& path) {
    return "\nFout: al bestaande doelbestand \"" + path + "\" kan niet worden gewist.\n";
}

std::string cannot_create(const std::string& path) { return "\nFout: kan doelbestand \"" + path + "\" niet aanmaken."; }

std::string writing(const std::string& path, int width, int height) {
    return "\nDoelbestand \"" + path + "\" wordt aangemaakt.\nKleuren berekend.\nAanmaken TGA-afbeelding \"" + path +
           "\", grootte " + std::to_string(width) + " x " + std::to_string(height) + " pixels...\n";
}

std::string written(const std::string& path, int width, int height) {
    return writing(path, width, height) + "Gereed.\n";
}

std::string incomplete(const std::string& path) {
    return "\nFout: doelbestand \"" + path + "\" kan niet volledig worden geschreven.\n";
}

// ---- the table ----

enum class setup {
    nothing,
    writable_file,
    read_only_file,
    group_writable_only, // owned by the run's user, who then may neither read nor write it
    directory,
    fifo,
    device,
    link_to_file,
    dangling_link,
    held // by another run of the same command line, frozen while it writes
};
enum class effect { image, untouched, absent, empty };

struct image_spec {
    int width;
    int height;
    std::int32_t split_column;
    int blend_green;
    int blend_red;
};

// A case that exists on one kind of system only, and why.
struct only_on {
    bool windows;
    const char* why;
};

// How the run is started, beyond its arguments.
// `write_only`: the umask makes the image write-only, and the runs may not
// read it even as root.
enum class start { plain, file_size_limit, stdout_closed, std_streams_closed, interrupts_ignored, traced, write_only };

struct e2e_case {
    const char* name;
    setup before;
    std::vector<std::string> arguments; // the first one is the target
    std::string expected_stdout;
    int expected_status;
    effect after;
    image_spec image = {};
    start how = start::plain;
    int runs = 1;
    only_on only = {};
    int interrupt = 0;                    // a signal sent once the image is being written
    std::vector<std::string> faults = {}; // strace injections, such as "unlink:error=EIO"
    std::string look_alike = {};          // a file the command does not name, which must stay
};

const std::vector<std::string> usage_example = {"bar.tga", "120", "16", "8,1", "4,735", "6.97"};
const image_spec usage_image = {120, 16, 80, 90, 76};
const std::string usage_written = written("bar.tga", 120, 16);
const std::string replaced = deleted("bar.tga") + usage_written;
const only_on no_fifos = {false, "Windows has no FIFOs"};
const only_on no_devices = {false, "Windows has no device nodes in folders"};
const only_on no_links = {false, "symbolic links on Windows need privileges, and wine follows them"};
const only_on no_such_signal = {false, "Windows has no such signal; its console sends Ctrl+C"};
const only_on no_closed_streams = {false, "wine itself cannot run with its standard descriptors closed"};
const only_on no_ignored_signals = {false, "a POSIX signal ignored at start has no Windows counterpart"};
const only_on share_modes = {false, "Windows refuses the delete through its share modes, whatever the permissions"};
const only_on no_modes = {false, "Windows has no mode bits"};
const only_on posix_counts_bytes = {false, "Windows counts the path in UTF-16 units"};
const only_on windows_counts_units = {true, "POSIX counts the path in bytes"};
const only_on device_names = {true, "on POSIX this is a file name like any other"};
const char no_tracer[] = "strace cannot fail or slow down the emulated program's own calls";
const std::vector<std::string> large_image = {"bar.tga", "8192", "8192", "3", "0", "1"};
const image_spec large_image_spec = {8192, 8192, 2731, 85, 85};
// Two blocks of gathered writes.
const std::vector<std::string> two_blocks = {"bar.tga", "1024", "512", "3", "0", "1"};
const image_spec two_blocks_image = {1024, 512, 342, 43, 170};
const image_spec smallest_image = {3, 1, 2, 64, 128};

// Ended by `signal` while the rows are written: nothing is left, the output
// holds every message printed until then, and the tool ends by that signal
// (under an emulator: with a status that is not 0).
e2e_case ended_by(const char* name, int signal, only_on only = no_such_signal) {
    e2e_case c = {name, setup::nothing, large_image, writing("bar.tga", 8192, 8192), 0, effect::absent};
    c.only = only;
    c.interrupt = signal;
    return c;
}

std::vector<std::string> smallest_at(const std::string& target) { return {target, "3", "1", "1", "0", "0.5"}; }

// The ANSI code page turns a character it lacks into a look-alike: the image
// must appear at exactly the path given, and the look-alike file must stay.
e2e_case beside_look_alike(const char* name, const std::string& target, const char* look_alike) {
    e2e_case c = {name, setup::nothing, smallest_at(target), written(target, 3, 1), 0, effect::image, smallest_image};
    c.look_alike = look_alike;
    return c;
}

// 259 UTF-16 units in 263 bytes, and 260 in 264; the folder keeps each name
// within the 255 bytes that Linux allows.
const std::string path_of_259_units = "../work/" + std::string(243, 'a') + "\u00e9\u00e9\u00e9\u00e9.tga";
const std::string path_of_260_units = "../work/" + std::string(244, 'a') + "\u00e9\u00e9\u00e9\u00e9.tga";

// clang-format off
const std::vector<e2e_case> e2e_cases = {
    {"usage-example", setup::nothing, usage_example, usage_written, 0, effect::image, usage_image},
    {"largest-image", setup::nothing, large_image, written("bar.tga", 8192, 8192), 0, effect::image, large_image_spec},
    {"smallest-image", setup::nothing, smallest_at("bar.tga"), written("bar.tga", 3, 1), 0, effect::image, smallest_image},
    // 42 rows go to the system per call: the last call has one row.
    {"one-row-in-last-block", setup::nothing, {"bar.tga", "8192", "43", "3", "0", "1"}, written("bar.tga", 8192, 43), 0, effect::image, {8192, 43, 2731, 85, 85}},
    {"no-arguments", setup::nothing, {}, usage_text, 1, effect::absent},
    {"width-below-minimum-creates-nothing", setup::nothing, {"bar.tga", "2", "16", "8,1", "4,735", "6.97"}, usage_text, 1, effect::absent},
    {"values-out-of-order-keep-existing-file", setup::writable_file, {"bar.tga", "120", "16", "4", "5", "6"}, usage_text, 1, effect::untouched},
    // The second run replaces the first one's image.
    {"replaces-existing-file-twice", setup::writable_file, usage_example, replaced, 0, effect::image, usage_image, start::plain, 2},
    {"target-in-missing-folder", setup::nothing, {"missing/bar.tga", "120", "16", "8,1", "4,735", "6.97"}, cannot_create("missing/bar.tga"), 1, effect::absent},
    {"empty-target-path", setup::nothing, {"", "3", "1", "1", "0", "0"}, cannot_create(""), 1, effect::absent},
    {"current-nan-draws-rest-colour", setup::nothing, {"bar.tga", "10", "2", "10", "0", "nan"}, written("bar.tga", 10, 2), 0, effect::image, {10, 2, INT32_MIN, 0, 0}},
    {"high-nan-draws-fill-colour", setup::nothing, {"bar.tga", "10", "2", "nan", "0", "5"}, written("bar.tga", 10, 2), 0, effect::image, {10, 2, 11, 0, 255}},
    {"infinities-draw-rest-colour", setup::nothing, {"bar.tga", "10", "2", "inf", "-inf", "-inf"}, written("bar.tga", 10, 2), 0, effect::image, {10, 2, INT32_MIN, 0, 0}},
    {"write-limit-removes-partial-image", setup::nothing, {"bar.tga", "8192", "8192", "3", "0", "1"}, writing("bar.tga", 8192, 8192) + incomplete("bar.tga"), 1, effect::absent, {}, start::file_size_limit},
    {"read-only-file-kept", setup::read_only_file, usage_example, cannot_delete("bar.tga"), 1, effect::untouched},
    {"directory-kept", setup::directory, usage_example, cannot_delete("bar.tga"), 1, effect::untouched},
    {"fifo-kept", setup::fifo, usage_example, cannot_delete("bar.tga"), 1, effect::untouched, {}, start::plain, 1, no_fifos},
    {"device-kept", setup::device, usage_example, cannot_delete("bar.tga"), 1, effect::untouched, {}, start::plain, 1, no_devices},
    {"link-to-file-replaces-the-link-only", setup::link_to_file, usage_example, replaced, 0, effect::image, usage_image, start::plain, 1, no_links},
    {"dangling-link-replaced", setup::dangling_link, usage_example, replaced, 0, effect::image, usage_image, start::plain, 1, no_links},
    {"closed-stdout-still-writes-image", setup::nothing, usage_example, "", 0, effect::image, usage_image, start::stdout_closed},
    // The image must not take the number of a standard stream that was closed.
    {"closed-standard-streams-still-write-image", setup::nothing, usage_example, "", 0, effect::image, usage_image, start::std_streams_closed, 1, no_closed_streams},
    ended_by("interrupt-removes-partial-image", SIGINT, {}),
    ended_by("terminate-removes-partial-image", SIGTERM),
    ended_by("hangup-removes-partial-image", SIGHUP),
    ended_by("quit-removes-partial-image", SIGQUIT), // Ctrl+\, which dumps core where dumps are on
    ended_by("alarm-removes-partial-image", SIGALRM), // timeout -s ALRM
    ended_by("user-signal-1-removes-partial-image", SIGUSR1),
    ended_by("user-signal-2-removes-partial-image", SIGUSR2),
    ended_by("cpu-time-limit-removes-partial-image", SIGXCPU), // dumps core too
    ended_by("virtual-timer-removes-partial-image", SIGVTALRM),
    ended_by("profiling-timer-removes-partial-image", SIGPROF),
    ended_by("io-signal-removes-partial-image", SIGIO),
    ended_by("power-failure-removes-partial-image", SIGPWR),
    // Started as under nohup or as a background job: the interrupt changes nothing.
    {"ignored-interrupt-still-writes-image", setup::nothing, large_image, written("bar.tga", 8192, 8192), 0, effect::image, large_image_spec, start::interrupts_ignored, 1, no_ignored_signals, SIGINT},
    // The other run keeps its file and finishes its image.
    {"file-being-written-kept", setup::held, large_image, cannot_delete("bar.tga"), 1, effect::image, large_image_spec},
    {"write-only-file-being-written-kept", setup::held, large_image, cannot_delete("bar.tga"), 1, effect::image, large_image_spec, start::write_only, 1, share_modes},
    // No hold can be seen on it, so it counts as free.
    {"unopenable-file-replaced", setup::group_writable_only, usage_example, replaced, 0, effect::image, usage_image, start::write_only, 1, no_modes},
    beside_look_alike("l-with-stroke-not-l", "Grafiek \u0142.tga", "Grafiek l.tga"),
    beside_look_alike("o-double-acute-not-o", "K\u0151olaj.tga", "Koolaj.tga"),
    beside_look_alike("fullwidth-a-not-a", "\uff41.tga", "a.tga"),
    beside_look_alike("fullwidth-reverse-solidus-not-a-folder", "..\uff3csub\uff3cx.tga", "../sub/x.tga"),
    beside_look_alike("division-slash-not-a-folder", "..\u2215x.tga", "../x.tga"),
    {"name-in-chinese", setup::nothing, smallest_at("\u56fe\u8868.tga"), written("\u56fe\u8868.tga", 3, 1), 0, effect::image, smallest_image},
    {"device-name-not-written", setup::nothing, smallest_at("\\\\.\\NUL"), cannot_create("\\\\.\\NUL"), 1, effect::absent, {}, start::plain, 1, device_names},
    {"path-of-259-utf16-units", setup::nothing, smallest_at(path_of_259_units), written(path_of_259_units, 3, 1), 0, effect::image, smallest_image, start::plain, 1, windows_counts_units},
    {"path-of-263-bytes-rejected", setup::nothing, smallest_at(path_of_259_units), usage_text, 1, effect::absent, {}, start::plain, 1, posix_counts_bytes},
    {"path-of-260-utf16-units-rejected", setup::nothing, smallest_at(path_of_260_units), usage_text, 1, effect::absent},
    // The second block fails and so does the removal.
    {"failed-write-and-removal-leave-empty-file", setup::nothing, two_blocks, writing("bar.tga", 1024, 512) + incomplete("bar.tga"), 1, effect::empty, {}, start::plain, 1, {}, 0, {"writev:error=ENOSPC:when=2", "unlink,unlinkat:error=EBUSY"}},
};
// clang-format on

// ---- helpers ----

const char old_contents[] = "old image";
const off_t tga_header_size = 18;
const char pointee_name[] = "pointee.tga";
const char dangling_name[] = "nowhere.tga";

// Which build of the tool runs, and how; set from the command line.
struct tool_settings {
    std::string tool = TAVIMO_TOOL;
    std::vector<std::string> emulator;
    bool windows_console = false;
};
tool_settings settings;

bool windows_console() { return settings.windows_console; }

// The platform's form of a message: CR LF, the usage text's "ó" in the OEM
// code page, and a path in the ANSI one (1252 here), which of the table's
// other letters has only "é".
std::string console_form(const std::string& text) {
    if (!windows_console()) {
        return text;
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string character = text.substr(i, length);
        i += length - 1;
        if (character == "\n") {
            out += "\r\n";
        } else if (length == 1) {
            out += character;
        } else {
            out += character == "\u00f3" ? '\xA2' : character == "\u00e9" ? '\xE9' : '?';
        }
    }
    return out;
}

// Header, then identical rows by the pixel rule.
std::string expected_image(const image_spec& s) {
    std::string out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    out += {static_cast<char>(s.width & 0xFF),
            static_cast<char>(s.width >> 8),
            static_cast<char>(s.height & 0xFF),
            static_cast<char>(s.height >> 8),
            24,
            0x20};
    std::string row;
    for (std::int32_t column = 1; column <= s.width; ++column) {
        const int green = column < s.split_column ? 128 : column == s.split_column ? s.blend_green : 0;
        const int red = column < s.split_column ? 0 : column == s.split_column ? s.blend_red : 255;
        row += {0, static_cast<char>(green), static_cast<char>(red)};
    }
    for (int r = 0; r < s.height; ++r) {
        out += row;
    }
    return out;
}

// The case's scratch folder: the tool runs in work/, its output is kept beside it.
struct e2e_dir : scratch_dir {
    e2e_dir() : scratch_dir("tavimo-e2e") {
        if (!path.empty()) {
            fs::create_directory(work());
        }
    }
    std::string work() const { return at("work"); }
    std::string in_work(const std::string& name) const { return work() + "/" + name; }
};

// Makes the object the case starts from; false with errno when it cannot be made here.
bool make_setup(const e2e_dir& dir, const std::string& target, setup before) {
    const std::string path = dir.in_work(target);
    switch (before) {
    case setup::nothing:
    case setup::held: // by a run of its own, started later
        return true;
    case setup::writable_file:
        std::ofstream(path, std::ios::binary) << old_contents;
        return true;
    case setup::read_only_file:
        std::ofstream(path, std::ios::binary) << old_contents;
        return chmod(path.c_str(), 0444) == 0;
    case setup::group_writable_only:
        std::ofstream(path, std::ios::binary) << old_contents;
        return chmod(path.c_str(), 0020) == 0;
    case setup::directory:
        return mkdir(path.c_str(), 0755) == 0;
    case setup::fifo:
        return mkfifo(path.c_str(), 0644) == 0;
    case setup::device: // the same numbers as the null device, but our own node
        return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    case setup::link_to_file:
        std::ofstream(dir.in_work(pointee_name), std::ios::binary) << old_contents;
        return symlink(pointee_name, path.c_str()) == 0;
    case setup::dangling_link:
        return symlink(dangling_name, path.c_str()) == 0;
    }
    return false;
}

mode_t setup_type(setup before) {
    switch (before) {
    case setup::directory:
        return S_IFDIR;
    case setup::fifo:
        return S_IFIFO;
    case setup::device:
        return S_IFCHR;
    case setup::link_to_file:
    case setup::dangling_link:
        return S_IFLNK;
    default:
        return S_IFREG;
    }
}

struct run_result {
    int status = -1;     // exit status, or -1 when it did not exit normally
    int signal = 0;      // the signal that ended it, if one did
    std::string failure; // why the run itself went wrong
};

bool native() { return settings.emulator.empty(); }

// Natively, an interrupted run has its first gathered write slowed down, so
// that the interrupt comes while it writes; under an emulator, the largest
// image leaves time enough.
bool traced(const e2e_case& c) { return c.how == start::traced || !c.faults.empty() || (c.interrupt != 0 && native()); }

// strace runs beside the tool (-D), so that the child is the tool itself and
// its signals and status are its own; the trace goes to the case's folder.
std::vector<std::string> tracer(const e2e_dir& dir, const e2e_case& c) {
    std::vector<std::string> command = {"strace", "-D", "-qq", "-o", dir.path + "/trace"};
    std::vector<std::string> injections = c.faults;
    if (c.interrupt != 0) {
        injections.push_back("writev:delay_exit=100000:when=1");
    }
    for (const std::string& injection : injections) {
        command.insert(command.end(), {"-e", "inject=" + injection});
    }
    command.push_back("--");
    return command;
}

off_t file_size(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 ? status.st_size : 0;
}

// Starts the tool in the work folder with its output in `stdout_path`, or on a
// pipe nobody reads when `stdout_path` is empty; -1 when it cannot.
pid_t start_tool(const e2e_dir& dir, const e2e_case& c, const std::string& stdout_path) {
    std::vector<std::string> command;
    if (traced(c)) {
        command = tracer(dir, c);
    }
    command.insert(command.end(), settings.emulator.begin(), settings.emulator.end());
    command.push_back(settings.tool);
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    std::vector<char*> argv;
    for (std::string& part : command) {
        argv.push_back(part.data());
    }
    argv.push_back(nullptr);

    // Its read end is closed before the tool starts: no message ever finds a reader.
    int closed_pipe[2] = {-1, -1};
    if (stdout_path.empty() && (pipe(closed_pipe) != 0 || close(closed_pipe[0]) != 0)) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        // What a shell would give it: default signal actions and none blocked,
        // whatever this program was started with, and its own limits, with no
        // core dumps. A Windows program cannot ignore a POSIX signal, so under
        // wine the launcher ignores the file size signal for it.
        for (int signal_number = 1; signal_number < SIGRTMIN; ++signal_number) {
            std::signal(signal_number, SIG_DFL);
        }
        for (const int ignored : {SIGINT, SIGQUIT, SIGHUP}) {
            std::signal(ignored, c.how == start::interrupts_ignored ? SIG_IGN : SIG_DFL);
        }
        std::signal(SIGXFSZ, windows_console() ? SIG_IGN : SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        if (c.how == start::write_only) {
            umask(0444);
            // Root may read any file; the programs started from here may not.
            // A user who may not drop these rights has none of them.
            prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE);
            prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH);
        }
        if (c.how == start::file_size_limit) {
            const rlimit limit = {1 << 20, 1 << 20};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (traced(c)) {
            // A leak checker cannot run under a tracer.
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        }
        if (windows_console()) {
            // Wine decodes its command line by the locale: keep every letter.
            setenv("LC_ALL", "C.UTF-8", 1);
        }
        const int out =
            closed_pipe[1] >= 0 ? closed_pipe[1] : open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((dir.path + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || dup2(in, 0) < 0 ||
            chdir(dir.work().c_str()) != 0) {
            _exit(126);
        }
        if (c.how == start::std_streams_closed) {
            close(0);
            close(1);
            close(2);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (closed_pipe[1] >= 0) {
        close(closed_pipe[1]);
    }
    return child;
}

// Sends the case's interrupt once the rows are being written, and waits at
// most a minute for the end of the run, or for its stop when that is SIGSTOP.
// The file must hold more than its header: on Windows the header reaches it
// before the colours are reported.
run_result wait_for_tool(const e2e_dir& dir, const e2e_case& c, pid_t child) {
    if (child < 0) {
        return {-1, 0, "could not start"};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    const std::string target = dir.in_work(c.arguments.empty() ? "" : c.arguments[0]);
    bool interrupt_pending = c.interrupt != 0;
    int wait_status = 0;
    while (waitpid(child, &wait_status, WNOHANG | WUNTRACED) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &wait_status, 0);
            return {-1, 0, "timed out"};
        }
        if (interrupt_pending && file_size(target) > tga_header_size) {
            kill(child, c.interrupt);
            interrupt_pending = false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(interrupt_pending ? 200 : 5000));
    }
    if (interrupt_pending) {
        return {-1, 0, "ended before it could be interrupted"};
    }
    if (WIFSTOPPED(wait_status)) {
        return {-1, WSTOPSIG(wait_status), ""};
    }
    if (WIFSIGNALED(wait_status)) {
        return {-1, WTERMSIG(wait_status), ""};
    }
    return {WEXITSTATUS(wait_status), 0, ""};
}

run_result run_tool(const e2e_dir& dir, const e2e_case& c, const std::string& stdout_path) {
    return wait_for_tool(dir, c, start_tool(dir, c, stdout_path));
}

void expect_untouched(const e2e_dir& dir, const std::string& target, setup before) {
    struct stat status {};
    ASSERT_EQ(0, lstat(dir.in_work(target).c_str(), &status)) << "the old object is gone";
    EXPECT_EQ(setup_type(before), status.st_mode & S_IFMT);
    if (S_ISREG(status.st_mode)) {
        EXPECT_EQ(old_contents, read_file(dir.in_work(target)));
    }
}

void expect_empty(const e2e_dir& dir, const std::string& target) {
    struct stat status {};
    ASSERT_EQ(0, lstat(dir.in_work(target).c_str(), &status)) << "no file";
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(0, status.st_size);
}

void expect_image(const e2e_dir& dir, const std::string& target, const image_spec& image) {
    struct stat status {};
    ASSERT_EQ(0, lstat(dir.in_work(target).c_str(), &status)) << "no image";
    EXPECT_TRUE(S_ISREG(status.st_mode)) << "the image is not a regular file of its own";
    EXPECT_TRUE(read_file(dir.in_work(target)) == expected_image(image)) << "image bytes differ";
}

std::vector<std::string> work_entries(const e2e_dir& dir) {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.work())) {
        found.push_back(entry.path().filename().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The entry of the work folder that holds `path`; empty when it lies outside.
std::string entry_in_work(const e2e_dir& dir, const std::string& path) {
    const fs::path inside = fs::path(dir.in_work(path)).lexically_normal().lexically_relative(dir.work());
    const std::string first = inside.empty() ? "" : inside.begin()->string();
    return first == ".." ? "" : first;
}

// Nothing but the target and the case's own files may be in the work folder.
void expect_no_strays(const e2e_dir& dir, const e2e_case& c) {
    std::vector<std::string> expected;
    if (c.after != effect::absent && !c.arguments.empty()) {
        expected.push_back(entry_in_work(dir, c.arguments[0]));
    }
    if (!c.look_alike.empty()) {
        EXPECT_EQ(old_contents, read_file(dir.in_work(c.look_alike))) << "the look-alike file was touched";
        const std::string entry = entry_in_work(dir, c.look_alike);
        if (!entry.empty()) {
            expected.push_back(entry);
        }
    }
    if (c.before == setup::link_to_file) {
        expected.push_back(pointee_name);
        EXPECT_EQ(old_contents, read_file(dir.in_work(pointee_name))) << "written through the link";
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, work_entries(dir));
}

// Names the row in test lists and failures.
void PrintTo(const e2e_case& c, std::ostream* out) { *out << c.name; }

class end_to_end_table : public testing::TestWithParam<e2e_case> {};

TEST_P(end_to_end_table, OutputStatusAndFile) {
    const e2e_case& c = GetParam();
    e2e_dir dir;
    ASSERT_FALSE(dir.path.empty());
    if (c.only.why != nullptr && c.only.windows != windows_console()) {
        GTEST_SKIP() << c.only.why;
    }
    if (!native() && !c.faults.empty()) {
        GTEST_SKIP() << no_tracer;
    }
    const std::string target = c.arguments.empty() ? "bar.tga" : c.arguments[0];
    if (!make_setup(dir, target, c.before)) {
        if (errno == EPERM) {
            GTEST_SKIP() << "cannot make this object here: " << std::strerror(errno);
        }
        FAIL() << "setup failed: " << std::strerror(errno);
    }
    if (!c.look_alike.empty()) {
        const fs::path look_alike = dir.in_work(c.look_alike);
        fs::create_directories(look_alike.parent_path());
        std::ofstream(look_alike, std::ios::binary) << old_contents;
    }
    pid_t writer = -1;
    const std::string writer_stdout = dir.path + "/writer-stdout";
    if (c.before == setup::held) {
        e2e_case frozen_writer = c;
        frozen_writer.interrupt = SIGSTOP;
        writer = start_tool(dir, frozen_writer, writer_stdout);
        const run_result frozen = wait_for_tool(dir, frozen_writer, writer);
        ASSERT_EQ(SIGSTOP, frozen.signal) << "the other run was not frozen while it wrote: " << frozen.failure;
    }
    const std::string stdout_path = c.how == start::stdout_closed ? "" : dir.path + "/stdout";
    run_result result;
    for (int run = 0; run < c.runs; ++run) {
        result = run_tool(dir, c, stdout_path);
        ASSERT_EQ("", result.failure);
    }
    if (writer > 0) {
        kill(writer, SIGCONT);
        const run_result resumed = wait_for_tool(dir, {}, writer);
        EXPECT_EQ(0, resumed.status) << "the other run, resumed: " << resumed.failure;
        EXPECT_EQ(console_form(written(target, c.image.width, c.image.height)), read_file(writer_stdout));
    }
    const bool interrupted = c.interrupt != 0 && c.how != start::interrupts_ignored;
    if (interrupted && native()) {
        EXPECT_EQ(c.interrupt, result.signal) << "not ended by its interrupt";
    } else if (interrupted) {
        EXPECT_NE(0, result.status);
    } else {
        EXPECT_EQ(0, result.signal);
        EXPECT_EQ(c.expected_status, result.status);
    }
    if (c.how != start::stdout_closed && c.how != start::std_streams_closed) {
        EXPECT_EQ(console_form(c.expected_stdout), read_file(stdout_path));
    }
    // Wine talks about itself there, and qemu-user about a signal that ended its program.
    if (!windows_console() && (native() || !interrupted)) {
        EXPECT_EQ("", read_file(dir.path + "/stderr"));
    }
    if (c.how == start::write_only) {
        chmod(dir.in_work(target).c_str(), 0644); // for a test run that is not root
    }
    switch (c.after) {
    case effect::image:
        expect_image(dir, target, c.image);
        break;
    case effect::untouched:
        expect_untouched(dir, target, c.before);
        break;
    case effect::empty:
        expect_empty(dir, target);
        break;
    case effect::absent:
        break;
    }
    expect_no_strays(dir, c);
}

INSTANTIATE_TEST_SUITE_P(Cases, end_to_end_table, testing::ValuesIn(e2e_cases));

// ---- every system call fails in turn ----

// The calls the tool makes once it has named the target, by what they do, with
// the errors such calls really return. Most may end the run any sound way;
// `carried_on` ones must not stop it (retried, or done without), and
// `refusals` must stop it before a byte is written. Families, not names: C
// library versions and architectures pick different calls for one job
// (newfstatat, fstat, statx). "retval=0" is a write that writes nothing, which
// must not count as progress. A family without errors cannot fail for the
// arguments it is given (brk, which the allocator behind the stream buffers
// uses, reports failure by returning the old break, which an injected error
// cannot imitate).
struct call_family {
    std::vector<std::string> calls;
    std::vector<std::string> errors;
    std::vector<std::string> carried_on = {};
    std::vector<std::string> refusals = {};
};

const std::vector<call_family> fault_table = {
    // existence tests, the file's identity, buffer sizes
    {{"stat", "lstat", "fstat", "newfstatat", "stat64", "lstat64", "fstat64", "fstatat64", "statx"}, {"EIO", "EACCES"}},
    {{"unlink", "unlinkat"}, {"EBUSY", "EPERM", "EIO"}},
    {{"open", "openat", "openat2", "creat"}, {"EACCES", "ENOSPC", "EIO"}},
    {{"fcntl", "fcntl64"}, {"EMFILE"}},
    {{"write", "pwrite64"}, {"ENOSPC", "EDQUOT", "EFBIG", "EIO"}},
    {{"writev", "pwritev", "pwritev2"}, {"ENOSPC", "EDQUOT", "EFBIG", "EIO", "retval=0"}, {"EINTR"}},
    {{"close"}, {"EIO", "EINTR"}},
    // A file system without locks changes nothing; a hold that is there
    // already (EAGAIN is EWOULDBLOCK) is another run's.
    {{"flock"}, {}, {"ENOLCK"}, {"EAGAIN"}},
    {{"getrandom"}, {"EAGAIN"}},
    {{"mmap", "mmap2"}, {"ENOMEM"}},
    {{"brk", "munmap"}, {}},
    {{"rt_sigprocmask", "rt_sigaction", "sigprocmask", "sigaction"}, {}},
    {{"exit_group", "exit"}, {}},
};

// A call in a trace, and which call of its name it is from the start of the
// process, as strace's "when" counts.
struct traced_call {
    std::string name;
    int number;
};

std::vector<traced_call> calls_after_naming(const std::string& trace, const std::string& target) {
    std::vector<traced_call> calls;
    std::map<std::string, int> seen;
    bool named = false;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t paren = line.find('(');
        if (paren == std::string::npos || std::islower(static_cast<unsigned char>(line[0])) == 0) {
            continue; // "+++ exited with 0 +++" and the like
        }
        const std::string name = line.substr(0, paren);
        const int number = ++seen[name];
        named = named || (name != "execve" && line.find('"' + target + '"') != std::string::npos);
        if (named) {
            calls.push_back({name, number});
        }
    }
    return calls;
}

const call_family* family_of(const std::string& call) {
    for (const call_family& family : fault_table) {
        if (std::find(family.calls.begin(), family.calls.end(), call) != family.calls.end()) {
            return &family;
        }
    }
    return nullptr;
}

// Whatever failed: exit 0 exactly when the image is complete and correct, and
// otherwise status 1 with the old file untouched or nothing at all.
void expect_sound_outcome(const e2e_dir& dir, setup before, const run_result& result) {
    const std::string target = two_blocks[0];
    ASSERT_EQ("", result.failure);
    EXPECT_EQ(0, result.signal) << "ended by a signal";
    const std::vector<std::string> entries = work_entries(dir);
    EXPECT_TRUE(entries.empty() || entries == std::vector<std::string>{target}) << "stray files";
    if (result.status == 0) {
        expect_image(dir, target, two_blocks_image);
        return;
    }
    EXPECT_EQ(1, result.status);
    EXPECT_EQ(std::string::npos, read_file(dir.path + "/stdout").find("Gereed."));
    if (before == setup::writable_file && !entries.empty()) {
        expect_untouched(dir, target, before);
    } else {
        EXPECT_TRUE(entries.empty()) << "something was left at the target";
    }
}

void PrintTo(setup before, std::ostream* out) { *out << (before == setup::nothing ? "new target" : "existing target"); }

class fault_table_test : public testing::TestWithParam<setup> {};

TEST_P(fault_table_test, EveryCallFailsInTurn) {
    if (!native()) {
        GTEST_SKIP() << no_tracer;
    }
#ifdef TAVIMO_SANITIZED
    GTEST_SKIP() << "the sanitizer's allocator ends the tool its own way when its memory calls fail";
#endif
    const setup before = GetParam();
    e2e_case c = {"traced", before, two_blocks, "", 0, effect::image};
    c.how = start::traced;
    std::vector<traced_call> calls;
    {
        e2e_dir dir;
        ASSERT_TRUE(!dir.path.empty() && make_setup(dir, two_blocks[0], before));
        const run_result clean = run_tool(dir, c, dir.path + "/stdout");
        ASSERT_EQ(0, clean.status) << clean.failure << read_file(dir.path + "/stderr");
        calls = calls_after_naming(read_file(dir.path + "/trace"), two_blocks[0]);
    }
    ASSERT_FALSE(calls.empty()) << "no call named the target";

    int injected = 0;
    for (const traced_call& call : calls) {
        const call_family* entry = family_of(call.name);
        ASSERT_NE(nullptr, entry) << call.name << " is in no family of the fault table";
        std::vector<std::string> errors = entry->errors;
        errors.insert(errors.end(), entry->carried_on.begin(), entry->carried_on.end());
        errors.insert(errors.end(), entry->refusals.begin(), entry->refusals.end());
        for (const std::string& error : errors) {
            // An error fails that one call; a return value stays from that call on,
            // as for a device that no longer takes any data.
            const bool returned = error.rfind("retval=", 0) == 0;
            c.faults = {call.name + ":" + (returned ? "" : "error=") + error + ":when=" + std::to_string(call.number) +
                        (returned ? "+" : "")};
            SCOPED_TRACE(c.faults[0]);
            e2e_dir dir;
            ASSERT_TRUE(!dir.path.empty() && make_setup(dir, two_blocks[0], before));
            const run_result result = run_tool(dir, c, dir.path + "/stdout");
            // strace runs no tool at all for an injection it does not understand.
            EXPECT_NE(std::string::npos, read_file(dir.path + "/trace").find("(INJECTED)")) << "never injected";
            expect_sound_outcome(dir, before, result);
            const auto listed = [&error](const std::vector<std::string>& list) {
                return std::find(list.begin(), list.end(), error) != list.end();
            };
            if (listed(entry->carried_on)) {
                EXPECT_EQ(0, result.status) << "the run stopped";
            }
            if (listed(entry->refusals)) {
                const std::string out = read_file(dir.path + "/stdout");
                EXPECT_TRUE(out.find("niet aanmaken.") != out.npos || out.find("niet worden gewist") != out.npos)
                    << out;
            }
            ++injected;
        }
    }
    std::printf("%d faults injected into %zu calls\n", injected, calls.size());
}

INSTANTIATE_TEST_SUITE_P(Targets, fault_table_test, testing::Values(setup::nothing, setup::writable_file),
                         [](const testing::TestParamInfo<setup>& info) {
                             return std::string(info.param == setup::nothing ? "NewTarget" : "ExistingTarget");
                         });

} // namespace

int main(int argc, char* argv[]) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--tool=", 0) == 0) {
            settings.tool = arg.substr(7);
        } else if (arg.rfind("--emulator=", 0) == 0) {
            std::istringstream words(arg.substr(11));
            for (std::string word; words >> word;) {
                settings.emulator.push_back(word);
            }
        } else if (arg == "--console=windows") {
            settings.windows_console = true;
        } else {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    return RUN_ALL_TESTS();
}
