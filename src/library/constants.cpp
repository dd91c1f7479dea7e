// The groups whose functions are not built yet; they register in their place
// from the start, so the order of the groups never changes.

#include "library/groups.h"

namespace kel {

const LibraryGroup kKeyboardGroup{GROUP_KEYBOARD, {}, nullptr, nullptr, nullptr};

}  // namespace kel
