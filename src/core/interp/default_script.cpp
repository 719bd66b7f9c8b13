#include "core/interp/default_script.h"

namespace velmor {

const char kDefaultScript[] =
    "//program ex. <Even Asphere>\r\n"
    "c = 0.25;\t//curvature\r\n"
    "k = 0.0;\t//conic constant\r\n"
    "a1 = 0.0;\r\n"
    "a2 = 0.0;\r\n"
    "a3 = 0.0;\r\n"
    "a4 = 0.0;\r\n"
    "rr = x*x + y*y;\r\n"
    "A = 1.0 - (1.0+k)*c*c*rr;\r\n"
    "A = max(0.0, A);\r\n"
    "z = c*rr / (1.0 + sqrt(A));\r\n"
    "z = z + a1*rr;\r\n"
    "z = z + a2*rr*rr;\r\n"
    "z = z + a3*rr*rr*rr;\r\n"
    "z = z + a4*rr*rr*rr*rr;\r\n"
    "z = min(z, 2.0);\t//limitation\r\n";

}  // namespace velmor
