// Runs a baseline and the commands measured against it by turns, round after round, and prints
// one table row per measured command: its median and spread, the baseline's, and the median of
// the ratios of the two within each round. Every section's loops and statistics are these.
//   bench_rounds -H                      prints the table's heading
//   bench_rounds [-n ROUNDS] [-u] [-w FILE | -e FILE] [-f KEY | -m] [-g GOAL] [-a]
//                MEASURE -- NAME COMMAND... [-- NAME COMMAND...]...
// The first NAME COMMAND is the baseline; -u runs a round first whose figures are dropped. A figure is the command's wall time; with -f KEY, the
// number after "KEY:" in what it prints (to either stream); with -m, its peak resident memory. A
// COMMAND of the one word =VALUE and a unit is that figure, a limit that is not run. -w reads FILE
// once, untimed, before each run (some systems drop pages unused for seconds from the cache);
// -e evicts it from the cache before each run; either way wall times are also shown as a rate
// through FILE. -g GOAL marks ratios above GOAL as missed; -a also sets every command after the
// second against the second (without a goal). Figures only: a goal missed never fails the run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct rounds_command {
    std::string name;
    std::vector<char *> argv;  // ends in nullptr; empty for a limit
    double limit = 0;
    std::string unit;
    std::vector<double> figures;  // one per round, in round order; a run that failed is missing
};

struct rounds_plan {
    int rounds = 5;
    const char *warm = nullptr;
    const char *evict = nullptr;
    const char *key = nullptr;
    bool memory = false;
    double goal = 0;  // none when 0
    bool against_second = false;
    bool warm_up = false;
    const char *measure = "";
    std::vector<rounds_command> commands;
};

static constexpr const char *ROUNDS_ROW_FORMAT = "%-32s %-34s %-34s %-12s %s\n";

static double rounds_median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// How far the furthest run lies from the median, in percent of it.
static int rounds_spread(const std::vector<double> &v, double median)
{
    double far = 0;
    for (double x : v)
        far = std::max(far, x > median ? x - median : median - x);
    return median > 0 ? static_cast<int>(far / median * 100 + 0.5) : 0;
}

// A figure in its unit with three significant digits, times and memory scaled to read easily.
static std::string rounds_show(double value, const std::string &unit)
{
    std::string shown = unit;
    if (unit == "s" && value < 1e-3) {
        value *= 1e6;
        shown = "us";
    } else if (unit == "s" && value < 1) {
        value *= 1e3;
        shown = "ms";
    } else if (unit == "KiB") {
        value /= 1024;
        shown = "MiB";
    }
    int decimals = value < 10 ? 2 : value < 100 ? 1 : 0;
    if (unit != "s" && shown == unit && value == static_cast<double>(static_cast<long long>(value)))
        decimals = 0;
    char text[64];
    snprintf(text, sizeof text, "%.*f %s", decimals, value, shown.c_str());
    return text;
}

// Median and spread of a command's figures; a limit is shown as it is.
static std::string rounds_summary(const rounds_plan &plan, const rounds_command &c)
{
    if (c.argv.empty())
        return rounds_show(c.limit, c.unit);
    if (c.figures.empty())
        return "FAULT: no figure";
    double median = rounds_median(c.figures);
    std::string text = rounds_show(median, c.unit) + " +-" + std::to_string(rounds_spread(c.figures, median)) + "%";
    const char *through = plan.warm ? plan.warm : plan.evict;
    struct stat sb;
    if (through && c.unit == "s" && stat(through, &sb) == 0 && median > 0) {
        char rate[32];
        snprintf(rate, sizeof rate, ", %.2f GB/s", static_cast<double>(sb.st_size) / median / 1e9);
        text += rate;
    }
    return text;
}

static bool rounds_usage()
{
    fprintf(stderr, "usage: bench_rounds -H | bench_rounds [-n ROUNDS] [-u] [-w FILE | -e FILE] [-f KEY | -m] "
                    "[-g GOAL] [-a] MEASURE -- NAME COMMAND... [-- NAME COMMAND...]...\n");
    return false;
}

// Tells limits from commands to run, and gives each its unit.
static bool rounds_parse_commands(rounds_plan &plan)
{
    for (rounds_command &c : plan.commands) {
        if (c.argv.empty())
            return rounds_usage();
        if (c.argv[0][0] == '=') {
            c.limit = atof(c.argv[0] + 1);
            c.unit = c.argv.size() > 1 ? c.argv[1] : "";
            c.argv.clear();
        } else {
            c.unit = plan.memory ? "KiB" : plan.key ? "" : "s";
            c.argv.push_back(nullptr);
        }
    }
    return plan.commands.size() >= 2 || rounds_usage();
}

// Options come first and each stands alone ("-n 5", not "-n5"), as the driver writes them.
static bool rounds_parse(rounds_plan &plan, int argc, char **argv)
{
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-' && strlen(argv[i]) == 2; i++) {
        char opt = argv[i][1];
        const char *value = argv[i + 1];
        switch (opt) {
        case 'n': plan.rounds = atoi(value); break;
        case 'w': plan.warm = value; break;
        case 'e': plan.evict = value; break;
        case 'f': plan.key = value; break;
        case 'g': plan.goal = atof(value); break;
        case 'm': plan.memory = true; continue;
        case 'a': plan.against_second = true; continue;
        case 'u': plan.warm_up = true; continue;
        default: return rounds_usage();
        }
        i++;
    }
    if (argc - i < 2 || plan.rounds < 1)
        return rounds_usage();
    plan.measure = argv[i];
    for (i++; i < argc; i++) {
        if (strcmp(argv[i], "--") == 0) {
            if (i + 1 >= argc)
                return rounds_usage();
            plan.commands.push_back(rounds_command{argv[i + 1], {}, 0, "", {}});
            i++;
        } else if (plan.commands.empty()) {
            return rounds_usage();
        } else {
            plan.commands.back().argv.push_back(argv[i]);
        }
    }
    return rounds_parse_commands(plan);
}

// Reads the file through once, or asks the system to drop it from the cache, before a run.
static void rounds_prepare(const rounds_plan &plan)
{
    const char *path = plan.warm ? plan.warm : plan.evict;
    int fd = path ? open(path, O_RDONLY) : -1;
    if (fd < 0)
        return;
    if (plan.warm) {
        static char block[1 << 20];
        while (read(fd, block, sizeof block) > 0) {
        }
    } else {
        (void)posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    }
    close(fd);
}

// The number after "KEY:" in the output, and the word after it as the unit.
static bool rounds_find_figure(const std::string &output, const char *key, double &figure, std::string &unit)
{
    std::string tag = std::string(key) + ":";
    size_t at = output.find(tag);
    if (at == std::string::npos)
        return false;
    const char *start = output.c_str() + at + tag.size();
    char *end;
    figure = strtod(start, &end);
    if (end == start)
        return false;
    while (*end == ' ')
        end++;
    size_t length = strcspn(end, " \n,");
    unit.assign(end, length);
    return true;
}

// Runs the command once; its output goes nowhere unless a figure is to be read from it.
static bool rounds_run(const rounds_plan &plan, rounds_command &c)
{
    int out[2] = {-1, -1};
    if (plan.key && pipe(out) != 0)
        return false;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        // Only the two streams lead to the pipe, so that a server the command leaves running
        // cannot hold it open.
        int sink = plan.key ? out[1] : open("/dev/null", O_WRONLY);
        dup2(sink, 1);
        dup2(sink, 2);
        close(sink);
        if (plan.key)
            close(out[0]);
        execvp(c.argv[0], c.argv.data());
        _exit(127);
    }
    std::string output;
    if (plan.key) {
        close(out[1]);
        char chunk[4096];
        ssize_t got;
        while ((got = read(out[0], chunk, sizeof chunk)) > 0)
            output.append(chunk, static_cast<size_t>(got));
        close(out[0]);
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return false;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A find that finds nothing ends with status 1; anything else but 0 is a fault.
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        fprintf(stderr, "bench_rounds: FAULT: %s (%s) ended with status %d\n", c.name.c_str(), c.argv[0], status);
        return false;
    }
    double figure = plan.memory ? static_cast<double>(usage.ru_maxrss) : seconds;
    if (plan.key && !rounds_find_figure(output, plan.key, figure, c.unit)) {
        fprintf(stderr, "bench_rounds: FAULT: %s printed no %s\n", c.name.c_str(), plan.key);
        return false;
    }
    c.figures.push_back(figure);
    return true;
}

// Each round runs every command once, the order reversed every other round, so that no command
// always follows the same one. A run that failed leaves its round out of the ratios.
static void rounds_run_all(rounds_plan &plan, std::vector<std::vector<double>> &by_round)
{
    size_t n = plan.commands.size();
    for (int round = plan.warm_up ? -1 : 0; round < plan.rounds; round++) {
        std::vector<double> figures(n, -1);
        for (size_t k = 0; k < n; k++) {
            size_t at = round % 2 ? n - 1 - k : k;
            rounds_command &c = plan.commands[at];
            if (c.argv.empty()) {
                figures[at] = c.limit;
                continue;
            }
            rounds_prepare(plan);
            if (rounds_run(plan, c))
                figures[at] = c.figures.back();
        }
        if (round >= 0)
            by_round.push_back(figures);
        else
            for (rounds_command &c : plan.commands)
                c.figures.clear();
    }
}

static void rounds_row(const rounds_plan &plan, const std::vector<std::vector<double>> &by_round, size_t measured, size_t base)
{
    std::vector<double> ratios;
    for (const std::vector<double> &round : by_round)
        if (round[measured] >= 0 && round[base] > 0)
            ratios.push_back(round[measured] / round[base]);
    const rounds_command &m = plan.commands[measured];
    const rounds_command &b = plan.commands[base];
    std::string ratio = "-", goal;
    if (!ratios.empty()) {
        double median = rounds_median(ratios);
        char text[32];
        snprintf(text, sizeof text, "%.2f +-%d%%", median, rounds_spread(ratios, median));
        ratio = text;
        if (plan.goal > 0 && base == 0) {
            snprintf(text, sizeof text, "<= %g %s", plan.goal, median <= plan.goal ? "ok" : "MISSED");
            goal = text;
        }
    }
    std::string value = m.name + " " + rounds_summary(plan, m);
    std::string baseline = b.name + " " + rounds_summary(plan, b);
    printf(ROUNDS_ROW_FORMAT, plan.measure, value.c_str(), baseline.c_str(), ratio.c_str(), goal.c_str());
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "-H") == 0) {
        printf(ROUNDS_ROW_FORMAT, "measure", "median +-spread", "baseline", "ratio", "goal");
        return 0;
    }
    rounds_plan plan;
    if (!rounds_parse(plan, argc, argv))
        return 2;
    std::vector<std::vector<double>> by_round;
    rounds_run_all(plan, by_round);
    for (size_t i = 1; i < plan.commands.size(); i++) {
        rounds_row(plan, by_round, i, 0);
        if (plan.against_second && i > 1)
            rounds_row(plan, by_round, i, 1);
    }
    fflush(stdout);
    return 0;
}
