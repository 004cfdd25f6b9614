// Writes the sample pairs shipped under samples/: a synthetic plot of plant
// rows over soil, seen by a FLIR E60 (320 × 240 raw thermal image) and a
// 2048 × 1536 photograph.
//   ardentis-make-samples FOLDER [PAIRS]
// Pair n is FLIR01nn.jpg (radiometric) and FLIR01nn_RGB01nn.jpg (photograph),
// so that the folder's name order gives the input list and the photograph's
// name gives the image number.

#include "flirfixture.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FOLDER [PAIRS]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const int pairs = argc == 3 ? std::atoi(argv[2]) : 3;
    for (int i = 0; i < pairs; ++i) {
        const unsigned seed = unsigned(i + 1);
        char number[16];
        std::snprintf(number, sizeof number, "%04d", 101 + i);
        fixtures::FlirFile file;
        file.counts = fixtures::plot_counts(320, 240, 19500 + 60 * i, seed);
        file.t_refl_celsius = 21.0f + float(i);
        file.date_time_original = "2018:07:1" + std::to_string(i % 10) +
                                  " 11:" + std::to_string(10 + 7 * i) + ":0" +
                                  std::to_string(i % 10);
        const std::string ir = dir + "/FLIR" + number + ".jpg";
        const std::string vis = dir + "/FLIR" + number + "_RGB" + number + ".jpg";
        if (!fixtures::write_flir_jpeg(ir, file) ||
            !cv::imwrite(vis, fixtures::plot_photograph(2048, 1536, 320, 240, seed),
                         {cv::IMWRITE_JPEG_QUALITY, 85})) {
            std::fprintf(stderr, "cannot write pair %d\n", i + 1);
            return 1;
        }
    }
    return 0;
}
