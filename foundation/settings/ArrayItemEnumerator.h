// CArrayItemEnumerator: a storage that can list which element children of its current array
// exist. Reading an array then touches only those, so a damaged "Count" of four billion
// costs nothing; storages without it have every index below the count tried in turn.
#pragma once

#include <cstdint>
#include <vector>

namespace Zezezezo {

class CArrayItemEnumerator {
public:
    virtual ~CArrayItemEnumerator();

    // The indices below `count` whose element child exists in the current array, ascending.
    // False when the storage cannot tell.
    virtual bool ExistingArrayItems(std::uint32_t count, std::vector<std::uint32_t>* indices) = 0;
};

}  // namespace Zezezezo
