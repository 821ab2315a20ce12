// Runs the built tool in a scratch folder per case and checks standard output
// byte for byte, the exit status and what is left at the target path.
//
// --tool=PATH and --emulator=COMMAND run another build of the tool (for
// example a Windows one under an emulator); --console=windows then expects
// CR LF line ends and the console's OEM byte for the accented letter, and
// skips the cases that only exist on POSIX systems.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
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

enum class setup { nothing, writable_file, read_only_file, directory, fifo, device, link_to_file, dangling_link };
enum class effect { image, untouched, absent };

struct image_spec {
    int width;
    int height;
    std::int32_t split_column;
    int blend_green;
    int blend_red;
};

// How the run is started, beyond its arguments.
enum class start { plain, file_size_limit, stdout_closed };

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
    const char* posix_only = nullptr; // why the case does not exist on Windows
};

const std::vector<std::string> usage_example = {"bar.tga", "120", "16", "8,1", "4,735", "6.97"};
const image_spec usage_image = {120, 16, 80, 90, 76};
const std::string usage_written = written("bar.tga", 120, 16);
const std::string replaced = deleted("bar.tga") + usage_written;
const char no_fifos[] = "Windows has no FIFOs";
const char no_devices[] = "Windows has no device nodes in folders";
const char no_links[] = "symbolic links on Windows need privileges, and wine follows them";

// clang-format off
const std::vector<e2e_case> e2e_cases = {
    {"usage-example", setup::nothing, usage_example, usage_written, 0, effect::image, usage_image},
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
};
// clang-format on

// ---- helpers ----

const char old_contents[] = "old image";
const char pointee_name[] = "pointee.tga";
const char dangling_name[] = "nowhere.tga";

// Which build of the tool runs, and how; set from the command line.
struct tool_settings {
    std::string tool = TAVIMO_TOOL;
    std::string emulator;
    bool windows_console = false;
};
tool_settings settings;

bool windows_console() { return settings.windows_console; }

// The platform's form of a message: CR LF and the OEM byte for the accented letter.
std::string console_form(const std::string& text) {
    if (!windows_console()) {
        return text;
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\xC3\xB3") == 0) {
            out += '\xA2';
            ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
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
        return true;
    case setup::writable_file:
        std::ofstream(path, std::ios::binary) << old_contents;
        return true;
    case setup::read_only_file:
        std::ofstream(path, std::ios::binary) << old_contents;
        return chmod(path.c_str(), 0444) == 0;
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
    std::string failure; // why the run itself went wrong
};

// Starts the tool in the work folder with its output in `stdout_path`, or on a
// pipe nobody reads when `stdout_path` is empty, and waits at most a minute.
run_result run_tool(const e2e_dir& dir, const e2e_case& c, const std::string& stdout_path) {
    std::vector<std::string> command;
    if (!settings.emulator.empty()) {
        command.push_back(settings.emulator);
    }
    command.push_back(settings.tool);
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    std::vector<char*> argv;
    for (std::string& part : command) {
        argv.push_back(part.data());
    }
    argv.push_back(nullptr);

    int closed_pipe[2] = {-1, -1};
    if (stdout_path.empty() && pipe(closed_pipe) != 0) {
        return {-1, "pipe failed"};
    }
    const pid_t child = fork();
    if (child == 0) {
        // What a shell would give it: default signal actions, its own limits.
        // A Windows program cannot ignore a POSIX signal, so under an
        // emulator the launcher ignores the file size signal for it.
        std::signal(SIGPIPE, SIG_DFL);
        std::signal(SIGXFSZ, settings.emulator.empty() ? SIG_DFL : SIG_IGN);
        if (c.how == start::file_size_limit) {
            const rlimit limit = {1 << 20, 1 << 20};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        int out = closed_pipe[1];
        if (out < 0) {
            out = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        } else {
            close(closed_pipe[0]);
        }
        const int err = open((dir.path + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || dup2(in, 0) < 0 ||
            chdir(dir.work().c_str()) != 0) {
            _exit(126);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (closed_pipe[0] >= 0) {
        close(closed_pipe[0]);
        close(closed_pipe[1]);
    }
    if (child < 0) {
        return {-1, "fork failed"};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    int wait_status = 0;
    while (waitpid(child, &wait_status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &wait_status, 0);
            return {-1, "timed out"};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!WIFEXITED(wait_status)) {
        return {-1, "ended by signal " + std::to_string(WTERMSIG(wait_status))};
    }
    return {WEXITSTATUS(wait_status), ""};
}

void expect_untouched(const e2e_dir& dir, const std::string& target, setup before) {
    struct stat status {};
    ASSERT_EQ(0, lstat(dir.in_work(target).c_str(), &status)) << "the old object is gone";
    EXPECT_EQ(setup_type(before), status.st_mode & S_IFMT);
    if (S_ISREG(status.st_mode)) {
        EXPECT_EQ(old_contents, read_file(dir.in_work(target)));
    }
}

void expect_image(const e2e_dir& dir, const std::string& target, const image_spec& image) {
    struct stat status {};
    ASSERT_EQ(0, lstat(dir.in_work(target).c_str(), &status)) << "no image";
    EXPECT_TRUE(S_ISREG(status.st_mode)) << "the image is not a regular file of its own";
    EXPECT_TRUE(read_file(dir.in_work(target)) == expected_image(image)) << "image bytes differ";
}

// Nothing but the target and the case's own files may be in the work folder.
void expect_no_strays(const e2e_dir& dir, const e2e_case& c) {
    std::vector<std::string> expected;
    if (c.after != effect::absent && !c.arguments.empty()) {
        expected.push_back(c.arguments[0]);
    }
    if (c.before == setup::link_to_file) {
        expected.push_back(pointee_name);
        EXPECT_EQ(old_contents, read_file(dir.in_work(pointee_name))) << "written through the link";
    }
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.work())) {
        found.push_back(entry.path().filename().string());
    }
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(expected, found);
}

// Names the row in test lists and failures.
void PrintTo(const e2e_case& c, std::ostream* out) { *out << c.name; }

class end_to_end_table : public testing::TestWithParam<e2e_case> {};

TEST_P(end_to_end_table, OutputStatusAndFile) {
    const e2e_case& c = GetParam();
    e2e_dir dir;
    ASSERT_FALSE(dir.path.empty());
    if (windows_console() && c.posix_only != nullptr) {
        GTEST_SKIP() << c.posix_only;
    }
    const std::string target = c.arguments.empty() ? "bar.tga" : c.arguments[0];
    if (!make_setup(dir, target, c.before)) {
        if (errno == EPERM) {
            GTEST_SKIP() << "cannot make this object here: " << std::strerror(errno);
        }
        FAIL() << "setup failed: " << std::strerror(errno);
    }
    const std::string stdout_path = c.how == start::stdout_closed ? "" : dir.path + "/stdout";
    run_result result;
    for (int run = 0; run < c.runs; ++run) {
        result = run_tool(dir, c, stdout_path);
        ASSERT_EQ("", result.failure);
    }
    EXPECT_EQ(c.expected_status, result.status);
    if (c.how != start::stdout_closed) {
        EXPECT_EQ(console_form(c.expected_stdout), read_file(stdout_path));
    }
    if (settings.emulator.empty()) {
        EXPECT_EQ("", read_file(dir.path + "/stderr"));
    }
    switch (c.after) {
    case effect::image:
        expect_image(dir, target, c.image);
        break;
    case effect::untouched:
        expect_untouched(dir, target, c.before);
        break;
    case effect::absent:
        break;
    }
    expect_no_strays(dir, c);
}

INSTANTIATE_TEST_SUITE_P(Cases, end_to_end_table, testing::ValuesIn(e2e_cases));

} // namespace

int main(int argc, char* argv[]) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--tool=", 0) == 0) {
            settings.tool = arg.substr(7);
        } else if (arg.rfind("--emulator=", 0) == 0) {
            settings.emulator = arg.substr(11);
        } else if (arg == "--console=windows") {
            settings.windows_console = true;
        } else {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    return RUN_ALL_TESTS();
}
