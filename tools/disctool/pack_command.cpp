#include "tools/disctool/commands.h"

namespace disctool {

int RunPack(int, char**) { return Fail("pack: packages are not supported by this build yet"); }

}  // namespace disctool
