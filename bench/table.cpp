// The table of figures: statistics, printing, and the CSV copy.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "bench.h"

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double cpu_now()
{
    timespec t = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(std::ceil(share * static_cast<double>(values.size())));
    return values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
}

static std::vector<Row> table;

void row(Row r)
{
    table.push_back(std::move(r));
    // Rows show up as they are measured; the whole table follows at the end.
    const Row& t = table.back();
    std::fprintf(stderr, "  %s %s: %.3f %s\n", t.figure.c_str(), t.surface.c_str(), t.value, t.unit.c_str());
}

static std::string ratio_text(const Row& r)
{
    if (std::isnan(r.baseline) || r.baseline == 0)
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f x", r.value / r.baseline);
    return text;
}

std::string number(double value)
{
    if (std::isnan(value))
        return "";
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(value) >= 100 ? "%.0f" : "%.3g", value);
    return text;
}

void print_table()
{
    std::printf("\n%-34s %-12s %9s %-5s %-20s %9s %-18s %8s  %s\n", "figure", "surface", "value", "unit",
        "target", "baseline", "baseline is", "ratio", "note");
    for (const Row& r : table)
        std::printf("%-34s %-12s %9s %-5s %-20s %9s %-18s %8s  %s\n", r.figure.c_str(), r.surface.c_str(),
            number(r.value).c_str(), r.unit.c_str(), r.target.c_str(), number(r.baseline).c_str(),
            r.baseline_what.c_str(), ratio_text(r).c_str(), r.note.c_str());
}

static std::string csv_field(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

bool write_csv(const char* path)
{
    FILE* out = std::fopen(path, "w");
    if (!out)
        return false;
    std::fprintf(out, "figure,surface,value,unit,target,baseline,baseline_is,ratio,note\n");
    for (const Row& r : table) {
        std::string ratio
            = std::isnan(r.baseline) || r.baseline == 0 ? "" : std::to_string(r.value / r.baseline);
        std::fprintf(out, "%s,%s,%.6g,%s,%s,%s,%s,%s,%s\n", csv_field(r.figure).c_str(),
            csv_field(r.surface).c_str(), r.value, csv_field(r.unit).c_str(), csv_field(r.target).c_str(),
            std::isnan(r.baseline) ? "" : std::to_string(r.baseline).c_str(),
            csv_field(r.baseline_what).c_str(), ratio.c_str(), csv_field(r.note).c_str());
    }
    return std::fclose(out) == 0;
}
