#pragma once

#include <array>
#include <string>

// Independently computed digests of whole drawings: the start-up read-outs and
// the six presets. See the tests that use them for what each field covers.
namespace testutil {

struct GoldenDrawing {
    const char* real;
    const char* imag;
    const char* side;
    const char* limit;
    std::size_t pointsPerRow;
    long long iterations;
    std::array<long long, 17> histogram;
    const char* sha256Counts;
    const char* sha256Indices;
};

inline const std::array<GoldenDrawing, 7> kGoldenDrawings = {{
    {"-1.1507",
     "-0.4793",
     "0.5",
     "100",
     501,
     14696627,
     {128985, 14197, 12451, 11882, 7252, 3401, 3052, 2099, 929, 1007, 388, 177, 128, 62, 0, 0, 64991},
     "2504fb525159b4c455c06bbb36e4390b9c396749077de40b74f8a027c2564188",
     "7eff2ad16e4084ae6bb2f684ea0b02c410b1df6f527efbd167f0551024f4df0f"},
    {"-0.75",
     "-0.275",
     "0.05",
     "106",
     500,
     12804356,
     {69141, 0, 0, 21066, 17054, 16168, 10079, 9162, 3772, 5705, 2105, 1120, 601, 317, 0, 0, 94210},
     "a3387746bd7de29de3a10808dc80a8c2812db32aa60a236795c58da4b77e0cd2",
     "36ba07f0966c886a9aff98f2ec045c78d795ff4cc3786b4f437adf90c12b5c79"},
    {"-1.8558",
     "-1.173",
     "2.4232",
     "100",
     500,
     7754176,
     {65851, 58911, 5475, 5029, 3003, 1385, 1165, 787, 289, 365, 132, 65, 28, 25, 0, 0, 107990},
     "577606ae8f36d26d416dd86ee4a570fef19cb670f5d04e601a87204037a14b5d",
     "a1bc4e1abf7af5f998e4188abafb01c38ec7cd4720f86f65b4cdded61365a184"},
    {"-0.775",
     "0.107",
     "0.01",
     "180",
     500,
     21057313,
     {47375, 0, 0, 0, 34876, 6455, 26020, 12414, 5376, 8160, 3196, 1451, 930, 234, 244, 0, 103769},
     "15a8f761e530891a200a2631cca5a0dd45d3acf49f91c2d9063d3f8eaab1bae0",
     "4c44355ff87d6b01e3ac64180164e39aa9bf5b5b2a8068005e69a9eb35898301"},
    {"-0.7717",
     "0.1165",
     "0.0001",
     "180",
     500,
     29414759,
     {40085, 0, 0, 0, 0, 0, 0, 42335, 15742, 28246, 9547, 4686, 2166, 654, 600, 0, 106439},
     "e26611b03eb41eb77744d08e73245729e736ab519b4466d50093359c023f26ba",
     "38f81dfbb360f6b2bdfc1cd348e33e8ff7e36dd91669d705aa39f3dac78a8048"},
    {"-0.772",
     "0.1163",
     "0.0005",
     "180",
     500,
     22535929,
     {21258, 0, 0, 0, 0, 21103, 18166, 36003, 16563, 15737, 5579, 2412, 1239, 388, 361, 0, 111691},
     "71c1bed14518589c6f78f2f55b204a584260a853d0a0a8b7f50461a5578ea23e",
     "d34b37cd313ce42a70c14ee199aad640828ab0e254ec33ccb52da3912cd2671f"},
    {"-0.7612",
     "0.0664",
     "1.3015",
     "100",
     500,
     9895252,
     {87128, 67534, 5647, 5410, 3484, 1696, 1465, 970, 423, 489, 194, 75, 50, 19, 0, 0, 75916},
     "4d1b5404643c9b6588e15c12b226c5139481e6b92c08edb9ad7875ceb2d32107",
     "25bf8555ab78ebf9b782f8d5b12e7f237be72fa17623aee760d7eaec7008b22b"},
}};

}  // namespace testutil
