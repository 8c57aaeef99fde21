#include "settings/ArrayItemEnumerator.h"

namespace Zezezezo {

// Out of line so that the type's identity lives in the foundation library alone.
CArrayItemEnumerator::~CArrayItemEnumerator() = default;

}  // namespace Zezezezo
