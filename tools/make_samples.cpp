// Writes the sample pairs shipped under samples/: synthetic plots of plant
// rows over pale soil, seen by a FLIR E60 (320 × 240 raw thermal image) and a
// 2048 × 1536 photograph, each with the thermal field at its own place, as
// with different lenses and distances.
//   ardentis-make-samples FOLDER [PAIRS]
// Pair n is FLIR01nn.jpg (radiometric) and FLIR01nn_RGB01nn.jpg (photograph),
// so that the folder's name order gives the input list and the photograph's
// name gives the image number.

#include "fixtures/flirfixture.h"

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
    const cv::Rect fields[] = {{540, 470, 960, 720}, {150, 115, 1741, 1306}, {680, 560, 900, 675}};
    const cv::Vec3b soils[] = {fixtures::beige, fixtures::brown, fixtures::straw};
    for (int i = 0; i < pairs; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%04d", 101 + i);
        fixtures::FlirFile file;
        file.t_refl_celsius = 21.0f + float(i % 3);
        file.date_time_original = "2018:07:1" + std::to_string(i % 10) +
                                  " 11:" + std::to_string(10 + 7 * (i % 7)) + ":0" +
                                  std::to_string(i % 10);
        fixtures::PlotScene scene;
        scene.field = fields[i % 3];
        scene.soil = soils[i % 3];
        scene.seed = unsigned(i + 1);
        scene.plant_celsius = 21.5 + 0.8 * (i % 5);
        scene.soil_celsius = 31 + 1.5 * (i % 3);
        const fixtures::Plot plot = fixtures::draw_plot(scene, file);
        file.counts = plot.counts;
        const std::string ir = dir + "/FLIR" + number + ".jpg";
        const std::string vis = dir + "/FLIR" + number + "_RGB" + number + ".jpg";
        if (!fixtures::write_flir_jpeg(ir, file) ||
            !cv::imwrite(vis, plot.photograph, {cv::IMWRITE_JPEG_QUALITY, 90})) {
            std::fprintf(stderr, "cannot write pair %d\n", i + 1);
            return 1;
        }
    }
    return 0;
}
