#include "settings/MemberExchange.h"

#include "settings/ArrayItemEnumerator.h"

namespace Zezezezo {
namespace {

// Reads element `index` into a fresh default record; appends it when it loaded. Returns
// whether the walk goes on.
bool ReadElement(CSettingsStorage& storage, CMemberExchange::CRecordSequence& sequence,
                 std::uint32_t index, bool* ok) {
    CSettings& fresh = sequence.Fresh();
    if (storage.ExchangeArrayItem(static_cast<int>(index), &fresh, false)) {
        sequence.AppendFresh();
        return true;
    }
    *ok = false;
    return storage.ContinueOnFailure();
}

// Only the element children that exist are visited, in index order. Each index below the
// count that has no child counts as a failed element, exactly as if it had been tried.
bool ReadListedElements(CSettingsStorage& storage, CMemberExchange::CRecordSequence& sequence,
                        std::uint32_t count, const std::vector<std::uint32_t>& existing) {
    bool ok = true;
    std::uint32_t expected = 0;
    for (const std::uint32_t index : existing) {
        if (index != expected) {
            ok = false;
            if (!storage.ContinueOnFailure()) {
                return false;
            }
        }
        if (!ReadElement(storage, sequence, index, &ok)) {
            return false;
        }
        expected = index + 1;
    }
    if (expected < count) {
        ok = false;
    }
    return ok;
}

}  // namespace

CMemberExchange::CMemberExchange(bool continueOnFailure, CSettingsStorage* storage, bool save,
                                 bool reset)
    : m_continueOnFailure(continueOnFailure), m_storage(storage), m_save(save), m_reset(reset) {}

CMemberExchange& CMemberExchange::Nested(const wchar_t* name, CSettings& member) {
    if (!m_reset && !m_stopped) {
        Settle(m_storage->Exchange(name, member, m_save), [] {});
    }
    return *this;
}

bool CMemberExchange::ExchangeRecordArray(CSettingsStorage& storage, const wchar_t* name,
                                          CRecordSequence& sequence, bool save) {
    if (!save) {
        sequence.Clear();
    }
    std::int32_t count = static_cast<std::int32_t>(sequence.Size());
    bool ok = storage.BeginArray(name, &count, save);
    if (ok && save) {
        for (std::size_t index = 0; index < sequence.Size(); ++index) {
            if (!storage.ExchangeArrayItem(static_cast<int>(index), &sequence.At(index), true)) {
                ok = false;
                if (!storage.ContinueOnFailure()) {
                    break;
                }
            }
        }
    } else if (ok) {
        // The stored count is a DWORD; compare indices with it unsigned.
        const std::uint32_t stored = static_cast<std::uint32_t>(count);
        std::vector<std::uint32_t> existing;
        auto* lister = dynamic_cast<CArrayItemEnumerator*>(&storage);
        if (lister != nullptr && lister->ExistingArrayItems(stored, &existing)) {
            ok = ReadListedElements(storage, sequence, stored, existing);
        } else {
            for (std::uint32_t index = 0; index < stored; ++index) {
                if (!ReadElement(storage, sequence, index, &ok)) {
                    break;
                }
            }
        }
    }
    const bool ended = storage.EndArray(save);
    return ok && ended;
}

}  // namespace Zezezezo
