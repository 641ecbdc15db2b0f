// What the scan reader's speed is measured against: OpenCV decoding the same capture
// file and nothing else.
//   ringetch_capture_decode CAPTURE
#include <opencv2/imgcodecs.hpp>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ringetch_capture_decode CAPTURE\n");
        return 2;
    }
    const cv::Mat capture = cv::imread(argv[1], cv::IMREAD_UNCHANGED);
    if (capture.empty()) {
        std::fprintf(stderr, "ringetch_capture_decode: cannot decode \"%s\"\n", argv[1]);
        return 1;
    }
    std::printf("%d x %d, %d channels\n", capture.cols, capture.rows, capture.channels());
    return 0;
}
