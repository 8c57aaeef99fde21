// CMemberExchange: the member protocol a record's InternalSaveLoad follows, one call per
// member in declared order:
//
//   CMemberExchange m(continueOnFailure, storage, save, reset);
//   m.Plain(L"port", nPort, 0u).Plain(L"baud", nBaud, 115200u);
//   m.Nested(L"timestamp", timestamp).Records(L"AlignmentArray", points);
//   return m.Result();
//
// Reset sets plain members to their defaults without touching the storage (which may be
// null). A failed read gives a plain member its default and is not an error (the value may
// simply be missing); a failed write makes the result false. When the storage does not go
// on after a failure, the first failure ends the walk and the result is false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "settings/Settings.h"
#include "settings/SettingsStorage.h"

namespace Zezezezo {

class CMemberExchange {
public:
    CMemberExchange(bool continueOnFailure, CSettingsStorage* storage, bool save, bool reset);

    // A number, flag or text, exchanged through the storage's overload for T.
    template <typename T>
    CMemberExchange& Plain(const wchar_t* name, T& member, const T& defaultValue) {
        if (m_reset) {
            member = defaultValue;
        } else if (!m_stopped) {
            Settle(m_storage->Exchange(name, member, m_save), [&] { member = defaultValue; });
        }
        return *this;
    }

    // A nested record in the child storage `name`; reset leaves it alone.
    CMemberExchange& Nested(const wchar_t* name, CSettings& member);

    // An ordered sequence of records kept as an array: "Count" and one child per element.
    // Reading empties the sequence first and keeps the elements read even when a later one
    // fails. Reset leaves it alone.
    template <typename R>
    CMemberExchange& Records(const wchar_t* name, std::vector<R>& member) {
        if (m_reset || m_stopped) {
            return *this;
        }
        VectorSequence<R> sequence(member);
        Settle(ExchangeRecordArray(*m_storage, name, sequence, m_save), [] {});
        return *this;
    }

    bool Result() const { return m_result; }

    // A sequence of records as the array walk sees it.
    class CRecordSequence {
    public:
        virtual ~CRecordSequence() = default;
        virtual std::size_t Size() const = 0;
        virtual CSettings& At(std::size_t index) = 0;
        virtual void Clear() = 0;
        // A default-valued record held aside until AppendFresh moves it to the end.
        virtual CSettings& Fresh() = 0;
        virtual void AppendFresh() = 0;
    };

    // The array exchange on its own: BeginArray, the elements, EndArray. True when all of it
    // succeeded. Element children that do not exist are skipped (and make it false).
    static bool ExchangeRecordArray(CSettingsStorage& storage, const wchar_t* name,
                                    CRecordSequence& sequence, bool save);

private:
    template <typename R>
    class VectorSequence : public CRecordSequence {
    public:
        explicit VectorSequence(std::vector<R>& items) : m_items(items) {}
        std::size_t Size() const override { return m_items.size(); }
        CSettings& At(std::size_t index) override { return m_items[index]; }
        void Clear() override { m_items.clear(); }
        CSettings& Fresh() override {
            m_fresh = R();
            return m_fresh;
        }
        void AppendFresh() override { m_items.push_back(std::move(m_fresh)); }

    private:
        std::vector<R>& m_items;
        R m_fresh{};
    };

    template <typename OnReadFailure>
    void Settle(bool ok, OnReadFailure onReadFailure) {
        if (ok) {
            return;
        }
        if (!m_continueOnFailure) {
            m_stopped = true;
            m_result = false;
        } else if (m_save) {
            m_result = false;
        } else {
            onReadFailure();
        }
    }

    bool m_continueOnFailure;
    CSettingsStorage* m_storage;
    bool m_save;
    bool m_reset;
    bool m_stopped = false;
    bool m_result = true;
};

}  // namespace Zezezezo
