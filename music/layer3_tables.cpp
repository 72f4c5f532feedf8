// layer3_tables.cpp - the Layer III decoder's constant tables (values of ISO/IEC 11172-3) and
// the tables that initDecoderTables builds from them.
#include "music/layer3_internal.h"

#include <algorithm>
#include <cmath>

namespace layer3 {

const int bitrateKbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
const int samplingRates[4] = {44100, 48000, 32000, 0};

const BandBoundaries bandBoundaries[3] = {
    // 44.1 kHz
    {{0,  4,  8,   12,  16,  20,  24,  30,  36,  44,  52, 62,
      74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
     {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192}},
    // 48 kHz
    {{0,  4,  8,   12,  16,  20,  24,  30,  36,  42,  50, 60,
      72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
     {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192}},
    // 32 kHz
    {{0,  4,   8,   12,  16,  20,  24,  30,  36,  44,  54, 66,
      82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
     {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192}},
};

const uint8_t pretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

const uint8_t slenTable[2][16] = {
    {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
    {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3},
};

const double aliasCoefficients[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

const int32_t synthesisWindowHalf[257] = {
    0,     -1,    -1,    -1,    -1,    -1,    -1,    -2,    -2,    -2,    -2,    -3,    -3,
    -4,    -4,    -5,    -5,    -6,    -7,    -7,    -8,    -9,    -10,   -11,   -13,   -14,
    -16,   -17,   -19,   -21,   -24,   -26,   -29,   -31,   -35,   -38,   -41,   -45,   -49,
    -53,   -58,   -63,   -68,   -73,   -79,   -85,   -91,   -97,   -104,  -111,  -117,  -125,
    -132,  -139,  -147,  -154,  -161,  -169,  -176,  -183,  -190,  -196,  -202,  -208,  -213,
    -218,  -222,  -225,  -227,  -228,  -228,  -227,  -224,  -221,  -215,  -208,  -200,  -189,
    -177,  -163,  -146,  -127,  -106,  -83,   -57,   -29,   2,     36,    72,    111,   153,
    197,   244,   294,   347,   401,   459,   519,   581,   645,   711,   779,   848,   919,
    991,   1064,  1137,  1210,  1283,  1356,  1428,  1498,  1567,  1634,  1698,  1759,  1817,
    1870,  1919,  1962,  2001,  2032,  2057,  2075,  2085,  2087,  2080,  2063,  2037,  2000,
    1952,  1893,  1822,  1739,  1644,  1535,  1414,  1280,  1131,  970,   794,   605,   402,
    185,   -45,   -288,  -545,  -814,  -1095, -1388, -1692, -2006, -2330, -2663, -3004, -3351,
    -3705, -4063, -4425, -4788, -5153, -5517, -5879, -6237, -6589, -6935, -7271, -7597, -7910,
    -8209, -8491, -8755, -8998, -9219, -9416, -9585, -9727, -9838, -9916, -9959, -9966, -9935,
    -9863, -9750, -9592, -9389, -9139, -8840, -8492, -8092, -7640, -7134, -6574, -5959, -5288,
    -4561, -3776, -2935, -2037, -1082, -70,   998,   2122,  3300,  4533,  5818,  7154,  8540,
    9975,  11455, 12980, 14548, 16155, 17799, 19478, 21189, 22929, 24694, 26482, 28289, 30112,
    31947, 33791, 35640, 37489, 39336, 41176, 43006, 44821, 46617, 48390, 50137, 51853, 53534,
    55178, 56778, 58333, 59838, 61289, 62684, 64019, 65290, 66494, 67629, 68692, 69679, 70590,
    71420, 72169, 72835, 73415, 73908, 74313, 74630, 74856, 74992, 75038,
};

// ---------------------------------------------------------------------------------------------
// Huffman code tables (Table B.7): code values and code lengths, sign bits not included.
namespace {

const uint16_t codes1[4] = {
    1,
    1,
    1,
    0,
};
const uint8_t lengths1[4] = {
    1,
    3,
    2,
    3,
};
const uint16_t codes2[9] = {
    1, 2, 1, 3, 1, 1, 3, 2, 0,
};
const uint8_t lengths2[9] = {
    1, 3, 6, 3, 3, 5, 5, 5, 6,
};
const uint16_t codes3[9] = {
    3, 2, 1, 1, 1, 1, 3, 2, 0,
};
const uint8_t lengths3[9] = {
    2, 2, 6, 3, 2, 5, 5, 5, 6,
};
const uint16_t codes5[16] = {
    1, 2, 6, 5, 3, 1, 4, 4, 7, 5, 7, 1, 6, 1, 1, 0,
};
const uint8_t lengths5[16] = {
    1, 3, 6, 7, 3, 3, 6, 7, 6, 6, 7, 8, 7, 6, 7, 8,
};
const uint16_t codes6[16] = {
    7, 3, 5, 1, 6, 2, 3, 2, 5, 4, 4, 1, 3, 3, 2, 0,
};
const uint8_t lengths6[16] = {
    3, 3, 5, 7, 3, 2, 4, 5, 4, 4, 5, 6, 6, 5, 6, 7,
};
const uint16_t codes7[36] = {
    1,  2,  10, 19, 16, 10, 3, 3, 7, 10, 5, 3, 11, 4, 13, 17, 8, 4,
    12, 11, 18, 15, 11, 2,  7, 6, 9, 14, 3, 1, 6,  4, 5,  3,  2, 0,
};
const uint8_t lengths7[36] = {
    1, 3, 6, 8, 8, 9, 3, 4, 6, 7, 7, 8,  6, 5, 7, 8,  8,  9,
    7, 7, 8, 9, 9, 9, 7, 7, 8, 9, 9, 10, 8, 8, 9, 10, 10, 10,
};
const uint16_t codes8[36] = {
    3,  4,  6,  18, 12, 5, 5,  1, 2, 16, 9, 3, 7,  3, 5, 14, 7, 3,
    19, 17, 15, 13, 10, 4, 13, 5, 8, 11, 5, 1, 12, 4, 4, 1,  1, 0,
};
const uint8_t lengths8[36] = {
    2, 3, 6, 8, 8, 9,  3, 2, 4, 8, 8,  8,  6, 4, 6, 8, 8,  9,
    8, 8, 8, 9, 9, 10, 8, 7, 8, 9, 10, 10, 9, 8, 9, 9, 11, 11,
};
const uint16_t codes9[36] = {
    7,  5, 9, 14, 15, 7, 6,  4, 5, 5, 6, 7, 7,  6, 8, 8, 8, 5,
    15, 6, 9, 10, 5,  1, 11, 7, 9, 6, 4, 1, 14, 4, 6, 2, 6, 0,
};
const uint8_t lengths9[36] = {
    3, 3, 5, 6, 8, 9, 3, 3, 4, 5, 6, 8, 4, 4, 5, 6, 7, 8,
    6, 5, 6, 7, 7, 8, 7, 6, 7, 7, 8, 9, 8, 7, 8, 8, 9, 9,
};
const uint16_t codes10[64] = {
    1,  2,  10, 23, 35, 30, 12, 17, 3,  3, 8,  12, 18, 21, 12, 7,  11, 9, 15, 21, 32, 40,
    19, 6,  14, 13, 22, 34, 46, 23, 18, 7, 20, 19, 33, 47, 27, 22, 9,  3, 31, 22, 41, 26,
    21, 20, 5,  3,  14, 13, 10, 11, 16, 6, 5,  1,  9,  8,  7,  8,  4,  4, 2,  0,
};
const uint8_t lengths10[64] = {
    1,  3,  6,  8,  9, 9, 9,  10, 3,  4,  6,  7,  8, 9,  8,  8,  6,  6,  7,  8,  9,  10,
    9,  9,  7,  7,  8, 9, 10, 10, 9,  10, 8,  8,  9, 10, 10, 10, 10, 10, 9,  9,  10, 10,
    11, 11, 10, 11, 8, 8, 9,  10, 10, 10, 11, 11, 9, 8,  9,  10, 10, 11, 11, 11,
};
const uint16_t codes11[64] = {
    3,  4,  10, 24, 34, 33, 21, 15, 5,  3, 4,  10, 32, 17, 11, 10, 11, 7, 13, 18, 30, 31,
    20, 5,  25, 11, 19, 59, 27, 18, 12, 5, 35, 33, 31, 58, 30, 16, 7,  5, 28, 26, 32, 19,
    17, 15, 8,  14, 14, 12, 9,  13, 14, 9, 4,  1,  11, 4,  6,  6,  6,  3, 2,  0,
};
const uint8_t lengths11[64] = {
    2,  3,  5,  7,  8, 9, 8, 9,  3, 3,  4,  6,  8, 8, 7, 8,  5,  5,  6,  7,  8, 9,
    8,  8,  7,  6,  7, 9, 8, 10, 8, 9,  8,  8,  8, 9, 9, 10, 9,  10, 8,  8,  9, 10,
    10, 11, 10, 11, 8, 7, 7, 8,  9, 10, 10, 10, 8, 7, 8, 9,  10, 10, 10, 10,
};
const uint16_t codes12[64] = {
    9,  6,  16, 33, 41, 39, 38, 26, 7,  5, 6,  9,  23, 16, 26, 11, 17, 7, 11, 14, 21, 30,
    10, 7,  17, 10, 15, 12, 18, 28, 14, 5, 32, 13, 22, 19, 18, 16, 9,  5, 40, 17, 31, 29,
    17, 13, 4,  2,  27, 12, 11, 15, 10, 7, 4,  1,  27, 12, 8,  12, 6,  3, 1,  0,
};
const uint8_t lengths12[64] = {
    4, 3, 5, 7, 8, 9, 9, 9, 3, 3, 4, 5,  7, 7, 8, 8, 5, 4, 5, 6,  7, 8,
    7, 8, 6, 5, 6, 6, 7, 8, 8, 8, 7, 6,  7, 7, 8, 8, 8, 9, 8, 7,  8, 8,
    8, 9, 8, 9, 8, 7, 7, 8, 8, 9, 9, 10, 9, 8, 8, 9, 9, 9, 9, 10,
};
const uint16_t codes13[256] = {
    1,  5,  14, 21, 34,  51, 46, 71, 42, 52, 68, 52, 67,  44, 43, 19, 3,  4,  12, 19, 31, 26,
    44, 33, 31, 24, 32,  24, 31, 35, 22, 14, 15, 13, 23,  36, 59, 49, 77, 65, 29, 40, 30, 40,
    27, 33, 42, 16, 22,  20, 37, 61, 56, 79, 73, 64, 43,  76, 56, 37, 26, 31, 25, 14, 35, 16,
    60, 57, 97, 75, 114, 91, 54, 73, 55, 41, 48, 53, 23,  24, 58, 27, 50, 96, 76, 70, 93, 84,
    77, 58, 79, 29, 74,  49, 41, 17, 47, 45, 78, 74, 115, 94, 90, 79, 69, 83, 71, 50, 59, 38,
    36, 15, 72, 34, 56,  95, 92, 85, 91, 90, 86, 73, 77,  65, 51, 44, 43, 42, 43, 20, 30, 44,
    55, 78, 72, 87, 78,  61, 46, 54, 37, 30, 20, 16, 53,  25, 41, 37, 44, 59, 54, 81, 66, 76,
    57, 54, 37, 18, 39,  11, 35, 33, 31, 57, 42, 82, 72,  80, 47, 58, 55, 21, 22, 26, 38, 22,
    53, 25, 23, 38, 70,  60, 51, 36, 55, 26, 34, 23, 27,  14, 9,  7,  34, 32, 28, 39, 49, 75,
    30, 52, 48, 40, 52,  28, 18, 17, 9,  5,  45, 21, 34,  64, 56, 50, 49, 45, 31, 19, 12, 15,
    10, 7,  6,  3,  48,  23, 20, 39, 36, 35, 53, 21, 16,  23, 13, 10, 6,  1,  4,  2,  16, 15,
    17, 27, 25, 20, 29,  11, 17, 12, 16, 8,  1,  1,  0,   1,
};
const uint8_t lengths13[256] = {
    1,  4,  6,  7,  8,  9,  9,  10, 9,  10, 11, 11, 12, 12, 13, 13, 3,  4,  6,  7,  8,  8,  9,  9,
    9,  9,  10, 10, 11, 12, 12, 12, 6,  6,  7,  8,  9,  9,  10, 10, 9,  10, 10, 11, 11, 12, 13, 13,
    7,  7,  8,  9,  9,  10, 10, 10, 10, 11, 11, 11, 11, 12, 13, 13, 8,  7,  9,  9,  10, 10, 11, 11,
    10, 11, 11, 12, 12, 13, 13, 14, 9,  8,  9,  10, 10, 10, 11, 11, 11, 11, 12, 11, 13, 13, 14, 14,
    9,  9,  10, 10, 11, 11, 11, 11, 11, 12, 12, 12, 13, 13, 14, 14, 10, 9,  10, 11, 11, 11, 12, 12,
    12, 12, 13, 13, 13, 14, 16, 16, 9,  8,  9,  10, 10, 11, 11, 12, 12, 12, 12, 13, 13, 14, 15, 15,
    10, 9,  10, 10, 11, 11, 11, 13, 12, 13, 13, 14, 14, 14, 16, 15, 10, 10, 10, 11, 11, 12, 12, 13,
    12, 13, 14, 13, 14, 15, 16, 17, 11, 10, 10, 11, 12, 12, 12, 12, 13, 13, 13, 14, 15, 15, 15, 16,
    11, 11, 11, 12, 12, 13, 12, 13, 14, 14, 15, 15, 15, 16, 16, 16, 12, 11, 12, 13, 13, 13, 14, 14,
    14, 14, 14, 15, 16, 15, 16, 16, 13, 12, 12, 13, 13, 13, 15, 14, 14, 17, 15, 15, 15, 17, 16, 16,
    12, 12, 13, 14, 14, 14, 15, 14, 15, 15, 16, 16, 19, 18, 19, 16,
};
const uint16_t codes15[256] = {
    7,   12, 18, 53, 47,  76, 124, 108, 89, 123, 108, 119, 107, 81,  122, 63, 13,  5,  16, 27,
    46,  36, 61, 51, 42,  70, 52,  83,  65, 41,  59,  36,  19,  17,  15,  24, 41,  34, 59, 48,
    40,  64, 50, 78, 62,  80, 56,  33,  29, 28,  25,  43,  39,  63,  55,  93, 76,  59, 93, 72,
    54,  75, 50, 29, 52,  22, 42,  40,  67, 57,  95,  79,  72,  57,  89,  69, 49,  66, 46, 27,
    77,  37, 35, 66, 58,  52, 91,  74,  62, 48,  79,  63,  90,  62,  40,  38, 125, 32, 60, 56,
    50,  92, 78, 65, 55,  87, 71,  51,  73, 51,  70,  30,  109, 53,  49,  94, 88,  75, 66, 122,
    91,  73, 56, 42, 64,  44, 21,  25,  90, 43,  41,  77,  73,  63,  56,  92, 77,  66, 47, 67,
    48,  53, 36, 20, 71,  34, 67,  60,  58, 49,  88,  76,  67,  106, 71,  54, 38,  39, 23, 15,
    109, 53, 51, 47, 90,  82, 58,  57,  48, 72,  57,  41,  23,  27,  62,  9,  86,  42, 40, 37,
    70,  64, 52, 43, 70,  55, 42,  25,  29, 18,  11,  11,  118, 68,  30,  55, 50,  46, 74, 65,
    49,  39, 24, 16, 22,  13, 14,  7,   91, 44,  39,  38,  34,  63,  52,  45, 31,  52, 28, 19,
    14,  8,  9,  3,  123, 60, 58,  53,  47, 43,  32,  22,  37,  24,  17,  12, 15,  10, 2,  1,
    71,  37, 34, 30, 28,  20, 17,  26,  21, 16,  10,  6,   8,   6,   2,   0,
};
const uint8_t lengths15[256] = {
    3,  4,  5,  7,  7,  8,  9,  9,  9,  10, 10, 11, 11, 11, 12, 13, 4,  3,  5,  6,  7,  7,  8,  8,
    8,  9,  9,  10, 10, 10, 11, 11, 5,  5,  5,  6,  7,  7,  8,  8,  8,  9,  9,  10, 10, 11, 11, 11,
    6,  6,  6,  7,  7,  8,  8,  9,  9,  9,  10, 10, 10, 11, 11, 11, 7,  6,  7,  7,  8,  8,  9,  9,
    9,  9,  10, 10, 10, 11, 11, 11, 8,  7,  7,  8,  8,  8,  9,  9,  9,  9,  10, 10, 11, 11, 11, 12,
    9,  7,  8,  8,  8,  9,  9,  9,  9,  10, 10, 10, 11, 11, 12, 12, 9,  8,  8,  9,  9,  9,  9,  10,
    10, 10, 10, 10, 11, 11, 11, 12, 9,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10, 11, 11, 12, 12, 12,
    9,  8,  9,  9,  9,  9,  10, 10, 10, 11, 11, 11, 11, 12, 12, 12, 10, 9,  9,  9,  10, 10, 10, 10,
    10, 11, 11, 11, 11, 12, 13, 12, 10, 9,  9,  9,  10, 10, 10, 10, 11, 11, 11, 11, 12, 12, 12, 13,
    11, 10, 9,  10, 10, 10, 11, 11, 11, 11, 11, 11, 12, 12, 13, 13, 11, 10, 10, 10, 10, 11, 11, 11,
    11, 12, 12, 12, 12, 12, 13, 13, 12, 11, 11, 11, 11, 11, 11, 11, 12, 12, 12, 12, 13, 13, 12, 13,
    12, 11, 11, 11, 11, 11, 11, 12, 12, 12, 12, 12, 13, 13, 13, 13,
};
const uint16_t codes16[256] = {
    1,    5,    14,   44,  74,  63,   110, 93,  172,  149, 138, 242, 225, 195, 376, 17,  3,   4,
    12,   20,   35,   62,  53,  47,   83,  75,  68,   119, 201, 107, 207, 9,   15,  13,  23,  38,
    67,   58,   103,  90,  161, 72,   127, 117, 110,  209, 206, 16,  45,  21,  39,  69,  64,  114,
    99,   87,   158,  140, 252, 212,  199, 387, 365,  26,  75,  36,  68,  65,  115, 101, 179, 164,
    155,  264,  246,  226, 395, 382,  362, 9,   66,   30,  59,  56,  102, 185, 173, 265, 142, 253,
    232,  400,  388,  378, 445, 16,   111, 54,  52,   100, 184, 178, 160, 133, 257, 244, 228, 217,
    385,  366,  715,  10,  98,  48,   91,  88,  165,  157, 148, 261, 248, 407, 397, 372, 380, 889,
    884,  8,    85,   84,  81,  159,  156, 143, 260,  249, 427, 401, 392, 383, 727, 713, 708, 7,
    154,  76,   73,   141, 131, 256,  245, 426, 406,  394, 384, 735, 359, 710, 352, 11,  139, 129,
    67,   125,  247,  233, 229, 219,  393, 743, 737,  720, 885, 882, 439, 4,   243, 120, 118, 115,
    227,  223,  396,  746, 742, 736,  721, 712, 706,  223, 436, 6,   202, 224, 222, 218, 216, 389,
    386,  381,  364,  888, 443, 707,  440, 437, 1728, 4,   747, 211, 210, 208, 370, 379, 734, 723,
    714,  1735, 883,  877, 876, 3459, 865, 2,   377,  369, 102, 187, 726, 722, 358, 711, 709, 866,
    1734, 871,  3458, 870, 434, 0,    12,  10,  7,    11,  10,  17,  11,  9,   13,  12,  10,  7,
    5,    3,    1,    3,
};
const uint8_t lengths16[256] = {
    1,  4,  6,  8,  9,  9,  10, 10, 11, 11, 11, 12, 12, 12, 13, 9,  3,  4,  6,  7,  8,  9,  9,  9,
    10, 10, 10, 11, 12, 11, 12, 8,  6,  6,  7,  8,  9,  9,  10, 10, 11, 10, 11, 11, 11, 12, 12, 9,
    8,  7,  8,  9,  9,  10, 10, 10, 11, 11, 12, 12, 12, 13, 13, 10, 9,  8,  9,  9,  10, 10, 11, 11,
    11, 12, 12, 12, 13, 13, 13, 9,  9,  8,  9,  9,  10, 11, 11, 12, 11, 12, 12, 13, 13, 13, 14, 10,
    10, 9,  9,  10, 11, 11, 11, 11, 12, 12, 12, 12, 13, 13, 14, 10, 10, 9,  10, 10, 11, 11, 11, 12,
    12, 13, 13, 13, 13, 15, 15, 10, 10, 10, 10, 11, 11, 11, 12, 12, 13, 13, 13, 13, 14, 14, 14, 10,
    11, 10, 10, 11, 11, 12, 12, 13, 13, 13, 13, 14, 13, 14, 13, 11, 11, 11, 10, 11, 12, 12, 12, 12,
    13, 14, 14, 14, 15, 15, 14, 10, 12, 11, 11, 11, 12, 12, 13, 14, 14, 14, 14, 14, 14, 13, 14, 11,
    12, 12, 12, 12, 12, 13, 13, 13, 13, 15, 14, 14, 14, 14, 16, 11, 14, 12, 12, 12, 13, 13, 14, 14,
    14, 16, 15, 15, 15, 17, 15, 11, 13, 13, 11, 12, 14, 14, 13, 14, 14, 15, 16, 15, 17, 15, 14, 11,
    9,  8,  8,  9,  9,  10, 10, 10, 11, 11, 11, 11, 11, 11, 11, 8,
};
const uint16_t codes24[256] = {
    15,  13,  46,  80,  146, 262, 248, 434, 426, 669, 653, 649, 621, 517, 1032, 88,   14,  12,  21,
    38,  71,  130, 122, 216, 209, 198, 327, 345, 319, 297, 279, 42,  47,  22,   41,   74,  68,  128,
    120, 221, 207, 194, 182, 340, 315, 295, 541, 18,  81,  39,  75,  70,  134,  125,  116, 220, 204,
    190, 178, 325, 311, 293, 271, 16,  147, 72,  69,  135, 127, 118, 112, 210,  200,  188, 352, 323,
    306, 285, 540, 14,  263, 66,  129, 126, 119, 114, 214, 202, 192, 180, 341,  317,  301, 281, 262,
    12,  249, 123, 121, 117, 113, 215, 206, 195, 185, 347, 330, 308, 291, 272,  520,  10,  435, 115,
    111, 109, 211, 203, 196, 187, 353, 332, 313, 298, 283, 531, 381, 17,  427,  212,  208, 205, 201,
    193, 186, 177, 169, 320, 303, 286, 268, 514, 377, 16,  335, 199, 197, 191,  189,  181, 174, 333,
    321, 305, 289, 275, 521, 379, 371, 11,  668, 184, 183, 179, 175, 344, 331,  314,  304, 290, 277,
    530, 383, 373, 366, 10,  652, 346, 171, 168, 164, 318, 309, 299, 287, 276,  263,  513, 375, 368,
    362, 6,   648, 322, 316, 312, 307, 302, 292, 284, 269, 261, 512, 376, 370,  364,  359, 4,   620,
    300, 296, 294, 288, 282, 273, 266, 515, 380, 374, 369, 365, 361, 357, 2,    1033, 280, 278, 274,
    267, 264, 259, 382, 378, 372, 367, 363, 360, 358, 356, 0,   43,  20,  19,   17,   15,  13,  11,
    9,   7,   6,   4,   7,   5,   3,   1,   3,
};
const uint8_t lengths24[256] = {
    4,  4,  6,  7,  8,  9,  9,  10, 10, 11, 11, 11, 11, 11, 12, 9,  4,  4,  5,  6,  7,  8,  8,  9,
    9,  9,  10, 10, 10, 10, 10, 8,  6,  5,  6,  7,  7,  8,  8,  9,  9,  9,  9,  10, 10, 10, 11, 7,
    7,  6,  7,  7,  8,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10, 7,  8,  7,  7,  8,  8,  8,  8,  9,
    9,  9,  10, 10, 10, 10, 11, 7,  9,  7,  8,  8,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10, 10, 7,
    9,  8,  8,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10, 10, 11, 7,  10, 8,  8,  8,  9,  9,  9,  9,
    10, 10, 10, 10, 10, 11, 11, 8,  10, 9,  9,  9,  9,  9,  9,  9,  9,  10, 10, 10, 10, 11, 11, 8,
    10, 9,  9,  9,  9,  9,  9,  10, 10, 10, 10, 10, 11, 11, 11, 8,  11, 9,  9,  9,  9,  10, 10, 10,
    10, 10, 10, 11, 11, 11, 11, 8,  11, 10, 9,  9,  9,  10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 8,
    11, 10, 10, 10, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 8,  11, 10, 10, 10, 10, 10, 10, 10,
    11, 11, 11, 11, 11, 11, 11, 8,  12, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 11, 11, 11, 8,
    8,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  8,  8,  8,  8,  4,
};
const uint16_t codesA[16] = {
    1, 5, 4, 5, 6, 5, 4, 4, 7, 3, 6, 0, 7, 2, 3, 1,
};
const uint8_t lengthsA[16] = {
    1, 4, 4, 5, 4, 6, 5, 6, 4, 5, 5, 6, 5, 6, 6, 6,
};

// Count1 table B: every quadruple has a 4-bit code, the complement of vwxy.
const uint16_t codesB[16] = {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
const uint8_t lengthsB[16] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};

} // namespace

const HuffmanCodeSource huffmanSources[34] = {
    {0, 0, false, nullptr, nullptr},     {2, 0, false, codes1, lengths1},
    {3, 0, false, codes2, lengths2},     {3, 0, false, codes3, lengths3},
    {0, 0, true, nullptr, nullptr},      {4, 0, false, codes5, lengths5},
    {4, 0, false, codes6, lengths6},     {6, 0, false, codes7, lengths7},
    {6, 0, false, codes8, lengths8},     {6, 0, false, codes9, lengths9},
    {8, 0, false, codes10, lengths10},   {8, 0, false, codes11, lengths11},
    {8, 0, false, codes12, lengths12},   {16, 0, false, codes13, lengths13},
    {0, 0, true, nullptr, nullptr},      {16, 0, false, codes15, lengths15},
    {16, 1, false, codes16, lengths16},  {16, 2, false, codes16, lengths16},
    {16, 3, false, codes16, lengths16},  {16, 4, false, codes16, lengths16},
    {16, 6, false, codes16, lengths16},  {16, 8, false, codes16, lengths16},
    {16, 10, false, codes16, lengths16}, {16, 13, false, codes16, lengths16},
    {16, 4, false, codes24, lengths24},  {16, 5, false, codes24, lengths24},
    {16, 6, false, codes24, lengths24},  {16, 7, false, codes24, lengths24},
    {16, 8, false, codes24, lengths24},  {16, 9, false, codes24, lengths24},
    {16, 11, false, codes24, lengths24}, {16, 13, false, codes24, lengths24},
    {4, 0, false, codesA, lengthsA},     {4, 0, false, codesB, lengthsB},
};

// ---------------------------------------------------------------------------------------------
// Tables built at initialisation.

float powTable[2 * powLimit + 1];
float gainTable[173];
float imdctWindows[4][36];
float intensityLeft[7];
float intensityRight[7];
float aliasCs[8];
float aliasCa[8];
float synthesisWindow[512];
HuffmanTable huffmanTables[34];
uint32_t huffmanPool[huffmanPoolSize];

float exactGainFactor(int exponent) {
    // Below the table the factor is tiny but not always negligible: a large linbits value
    // times 2^(-32) still reaches the 16-bit range, so compute it exactly.
    return static_cast<float>(std::exp2(exponent / 4.0));
}

namespace {

void buildRequantisationTables() {
    // The exponent is the standard's 4/3 written out as 1.33333333333, in double precision.
    powTable[powLimit] = 0.0f;
    for (int a = 1; a <= powLimit; ++a) {
        const float v = static_cast<float>(std::pow(static_cast<double>(a), 1.33333333333));
        powTable[powLimit + a] = v;
        powTable[powLimit - a] = -v;
    }
    for (int i = -127; i <= 45; ++i) {
        gainTable[i + 127] = static_cast<float>(std::exp2(i / 4.0));
    }
    gainTable[127] = 1.0f;
}

void buildWindows() {
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < 36; ++i) {
        const double longWindow = std::sin((i + 0.5) * pi / 36);
        imdctWindows[0][i] = static_cast<float>(longWindow);
        // Start window: long rise, flat top, short fall, then zeros.
        double start = 0.0;
        if (i < 18) {
            start = longWindow;
        } else if (i < 24) {
            start = 1.0;
        } else if (i < 30) {
            start = std::sin((i + 0.5 - 18) * pi / 12);
        }
        imdctWindows[1][i] = static_cast<float>(start);
        // Stop window: the mirror image.
        double stop = 0.0;
        if (i >= 18) {
            stop = longWindow;
        } else if (i >= 12) {
            stop = 1.0;
        } else if (i >= 6) {
            stop = std::sin((i + 0.5 - 6) * pi / 12);
        }
        imdctWindows[3][i] = static_cast<float>(stop);
        imdctWindows[2][i] = i < 12 ? static_cast<float>(std::sin((i + 0.5) * pi / 12)) : 0.0f;
    }
    for (int p = 0; p < 7; ++p) {
        // is_ratio = tan(p * pi / 12): left gets ratio / (1 + ratio), right 1 / (1 + ratio).
        // p = 6 (ratio infinite) puts everything on the left.
        if (p == 6) {
            intensityLeft[p] = 1.0f;
            intensityRight[p] = 0.0f;
        } else {
            const double ratio = std::tan(p * pi / 12);
            intensityLeft[p] = static_cast<float>(ratio / (1 + ratio));
            intensityRight[p] = static_cast<float>(1 / (1 + ratio));
        }
    }
    for (int i = 0; i < 8; ++i) {
        const double c = aliasCoefficients[i];
        const double norm = std::sqrt(1 + c * c);
        aliasCs[i] = static_cast<float>(1 / norm);
        aliasCa[i] = static_cast<float>(c / norm);
    }
    // D[i] = (-1)^floor(i / 64) * h[i], where the prototype h is symmetric about 256.
    for (int i = 0; i < 512; ++i) {
        const int32_t magnitude = synthesisWindowHalf[i <= 256 ? i : 512 - i];
        const int32_t value = ((i / 64) & 1) ? -magnitude : magnitude;
        synthesisWindow[i] = static_cast<float>(value / 65536.0);
    }
}

// Packs a code for the sorted entry list: code left-aligned in bits 31..13, length in 8..12.
uint32_t packEntry(uint32_t code, int length, int symbol) {
    return (code << (32 - length)) | (static_cast<uint32_t>(length) << 8) |
           static_cast<uint32_t>(symbol);
}

int entryLength(uint32_t entry) {
    return static_cast<int>((entry >> 8) & 31);
}

} // namespace

uint32_t searchHuffmanEntries(const HuffmanTable& table, uint32_t window) {
    if (table.entryCount == 0) {
        return 0;
    }
    const int bucket = static_cast<int>(window >> 28);
    int low = table.bucketStart[bucket];
    uint32_t entry = table.entries[low];
    int length = entryLength(entry);
    if (((entry ^ window) >> (32 - length)) != 0) {
        // Binary search for the largest code not above the window.
        int high = table.bucketStart[bucket + 1];
        while (low < high) {
            const int mid = (low + high + 1) / 2;
            if ((table.entries[mid] & 0xFFFFE000u) <= window) {
                low = mid;
            } else {
                high = mid - 1;
            }
        }
        entry = table.entries[low];
        length = entryLength(entry);
        if (((entry ^ window) >> (32 - length)) != 0) {
            return 0;
        }
    }
    return entry;
}

void buildHuffmanTables() {
    // Tables sharing their codes (16..23, 24..31) share one fast look-up structure.
    const uint16_t* builtCodes[34] = {};
    uint32_t builtBase[34] = {};
    uint32_t poolUsed = 0;
    for (int t = 0; t < 34; ++t) {
        const HuffmanCodeSource& source = huffmanSources[t];
        HuffmanTable& table = huffmanTables[t];
        table = HuffmanTable{};
        table.present = !source.invalid;
        table.linbits = source.linbits;
        const int count = source.dim * source.dim;
        for (int i = 0; i < count; ++i) {
            // Pairs decode to x * 16 + y; the quadruple tables' index already is vwxy.
            const int symbol = t >= 32 ? i : (i / source.dim) * 16 + i % source.dim;
            table.entries[i] = packEntry(source.codes[i], source.lengths[i], symbol);
        }
        table.entryCount = count;
        std::sort(table.entries, table.entries + count);
        for (int b = 0; b <= 16; ++b) {
            int last = 0;
            for (int i = 0; i < count; ++i) {
                if ((table.entries[i] & 0xFFFFE000u) <= (static_cast<uint64_t>(b) << 28)) {
                    last = i;
                }
            }
            table.bucketStart[b] = static_cast<uint8_t>(b == 16 ? std::max(count - 1, 0) : last);
        }
        if (count == 0) {
            continue;
        }
        int shared = -1;
        for (int u = 0; u < t; ++u) {
            if (builtCodes[u] == source.codes) {
                shared = u;
            }
        }
        if (shared >= 0) {
            table.fastBase = builtBase[shared];
            builtCodes[t] = source.codes;
            builtBase[t] = builtBase[shared];
            continue;
        }
        // First level: every 8-bit prefix. Codes up to 8 bits fill all the slots they cover;
        // longer codes group under their first 8 bits into second-level tables.
        const uint32_t base = poolUsed;
        poolUsed += 1u << huffmanFastBits; // the pool holds every table (checked by the tests)
        int longest[1 << huffmanFastBits] = {};
        for (int i = 0; i < count; ++i) {
            const uint32_t entry = table.entries[i];
            const int length = entryLength(entry);
            const uint32_t prefix = entry >> (32 - huffmanFastBits);
            if (length <= huffmanFastBits) {
                const uint32_t span = 1u << (huffmanFastBits - length);
                for (uint32_t s = 0; s < span; ++s) {
                    huffmanPool[base + prefix + s] = entry & 0x1FFFu;
                }
            } else {
                longest[prefix] = std::max(longest[prefix], length - huffmanFastBits);
            }
        }
        for (int prefix = 0; prefix < (1 << huffmanFastBits); ++prefix) {
            const int bits = longest[prefix];
            if (bits == 0) {
                continue;
            }
            if (bits > huffmanSubtableMaxBits || poolUsed + (1u << bits) > huffmanPoolSize) {
                huffmanPool[base + prefix] = huffmanSlowPath;
                continue;
            }
            const uint32_t sub = poolUsed;
            poolUsed += 1u << bits;
            for (uint32_t s = 0; s < (1u << bits); ++s) {
                // The window whose first 8 bits are the prefix and whose next bits are s.
                const uint32_t window = (static_cast<uint32_t>(prefix) << 24) | (s << (24 - bits));
                huffmanPool[sub + s] = searchHuffmanEntries(table, window) & 0x1FFFu;
            }
            huffmanPool[base + prefix] =
                huffmanSubtableFlag | (static_cast<uint32_t>(bits) << 16) | sub;
        }
        table.fastBase = base;
        builtCodes[t] = source.codes;
        builtBase[t] = base;
    }
}

uint32_t huffmanPoolUsed() {
    // Recomputed from the tables rather than kept, so that it reflects the built state.
    uint32_t used = 0;
    for (const HuffmanTable& table : huffmanTables) {
        used = std::max(used, table.fastBase + (1u << huffmanFastBits));
        for (int prefix = 0; prefix < (1 << huffmanFastBits); ++prefix) {
            const uint32_t entry = huffmanPool[table.fastBase + prefix];
            if ((entry & huffmanSubtableFlag) && entry != huffmanSlowPath) {
                used = std::max(used, (entry & 0xFFFF) + (1u << ((entry >> 16) & 31)));
            }
        }
    }
    return used;
}

void buildDecoderTables() {
    buildRequantisationTables();
    buildWindows();
    buildHuffmanTables();
    buildSynthesisTables();
}

} // namespace layer3
