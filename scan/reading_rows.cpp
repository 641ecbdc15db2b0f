// The rows a reading prints, one per line of the image: what ringetch-scan writes on
// standard output and ringetch-refine echoes when it takes a scan.
#include <cstdio>

#include "scan/capture_reading.h"

void print_line_rows(const CaptureReading& reading, int lines)
{
    for (int k = 0; k < lines; ++k) {
        const LineReading& line = reading.lines[k];
        if (line.read)
            std::printf("line %d angle %.2f twist %.2f error %.2f twist error %.2f\n", k, line.angle, line.twist,
                        line.angle_error, line.twist_error);
        else
            std::printf("line %d -\n", k);
    }
}
