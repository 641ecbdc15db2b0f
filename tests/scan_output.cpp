// ringetch-scan's report, read row by row; a row of another shape marks the whole
// output as not well formed rather than being skipped unseen.
#include "scan_output.h"

#include <cstdio>
#include <sstream>

ScanOutput parse_scan_output(const RunResult& run)
{
    ScanOutput out;
    out.status = run.exit_status;
    out.why = run.err;
    while (!out.why.empty() && out.why.back() == '\n')
        out.why.pop_back();
    std::istringstream rows(run.out);
    std::string row;
    while (std::getline(rows, row)) {
        ScanLine line;
        char dash = 0;
        int used = 0;
        if (std::sscanf(row.c_str(), "line %d angle %lf twist %lf error %lf twist error %lf%n", &line.line,
                        &line.angle, &line.twist, &line.error, &line.twist_error, &used) == 5 &&
            used == static_cast<int>(row.size())) {
            line.read = true;
            out.lines.push_back(line);
        } else if (std::sscanf(row.c_str(), "line %d %c%n", &line.line, &dash, &used) == 2 && dash == '-' &&
                   used == static_cast<int>(row.size())) {
            out.lines.push_back(line);
        } else if (std::sscanf(row.c_str(), "model tr0 %lf dtr %lf%n", &out.model.tr0, &out.model.dtr, &used) == 2 &&
                   used == static_cast<int>(row.size())) {
            out.has_model = true;
        } else {
            out.well_formed = false;
        }
    }
    return out;
}
