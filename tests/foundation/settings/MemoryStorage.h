// An in-memory storage for exercising the framework's own algorithms without a hive. It
// keeps typed values in a tree, can be told to fail chosen names, and counts the calls
// that reach it.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "settings/SettingsStorage.h"

namespace QuorvelTest {

struct MemoryNode {
    std::map<std::wstring, std::vector<std::uint8_t>> values;
    std::map<std::wstring, std::unique_ptr<MemoryNode>> children;
};

struct MemoryControl {
    bool continueOnFailure = true;
    std::set<std::wstring> failingNames;  // writes and reads of these names fail
    int calls = 0;                        // every virtual operation that reached a storage
};

class MemoryStorage : public Zezezezo::CSettingsStorage {
public:
    MemoryStorage(MemoryNode* parent, std::wstring name, MemoryControl* control)
        : m_parent(parent), m_name(std::move(name)), m_control(control) {}

    CSettingsStorage* CreateChild(const wchar_t* name) override {
        ++m_control->calls;
        return m_node != nullptr ? new MemoryStorage(m_node, name, m_control) : nullptr;
    }
    bool ContinueOnFailure() override {
        ++m_control->calls;
        return m_control->continueOnFailure;
    }
    bool BeginSave() override {
        ++m_control->calls;
        auto& slot = m_parent->children[m_name];
        if (!slot) {
            slot = std::make_unique<MemoryNode>();
        }
        m_node = slot.get();
        return true;
    }
    bool BeginLoad() override {
        ++m_control->calls;
        auto found = m_parent->children.find(m_name);
        m_node = found != m_parent->children.end() ? found->second.get() : nullptr;
        return m_node != nullptr;
    }
    bool EndSave() override { return Close(); }
    bool EndLoad() override { return Close(); }

    using CSettingsStorage::Exchange;
    bool ExchangeBinary(const wchar_t* name, void* data, std::uint32_t size, bool save) override {
        ++m_control->calls;
        if (!Usable(name)) {
            return false;
        }
        if (save) {
            auto* bytes = static_cast<const std::uint8_t*>(data);
            m_node->values[name].assign(bytes, bytes + size);
            return true;
        }
        auto found = m_node->values.find(name);
        if (found == m_node->values.end() || found->second.size() != size) {
            return false;
        }
        std::memcpy(data, found->second.data(), size);
        return true;
    }
    bool ExchangeText(const wchar_t* name, wchar_t* buffer, std::uint32_t* length,
                      bool save) override {
        ++m_control->calls;
        textCalls.push_back(*length);
        if (!Usable(name)) {
            *length = 0;
            return false;
        }
        if (save) {
            auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer);
            m_node->values[name].assign(bytes, bytes + *length * sizeof(wchar_t));
            return true;
        }
        auto found = m_node->values.find(name);
        if (found == m_node->values.end()) {
            *length = 0;
            return false;
        }
        const auto stored = static_cast<std::uint32_t>(found->second.size() / sizeof(wchar_t));
        if (stored > *length) {
            *length = stored;
            return false;
        }
        std::memcpy(buffer, found->second.data(), found->second.size());
        *length = stored;
        return true;
    }
    bool Exchange(const wchar_t* name, double& value, bool save) override {
        return ExchangeBinary(name, &value, sizeof value, save);
    }
    bool Exchange(const wchar_t* name, bool& value, bool save) override {
        std::uint32_t v = value ? 1 : 0;
        const bool ok = ExchangeUnsigned32(name, v, save);
        if (ok && !save) {
            value = v != 0;
        }
        return ok;
    }
    bool ExchangeUnsigned32(const wchar_t* name, std::uint32_t& value, bool save) override {
        return ExchangeBinary(name, &value, sizeof value, save);
    }
    bool ExchangeSigned32(const wchar_t* name, std::int32_t& value, bool save) override {
        return ExchangeBinary(name, &value, sizeof value, save);
    }

    bool HasCurrentArray() const { return m_currentArray != nullptr; }

    std::vector<std::uint32_t> textCalls;  // the length handed in to each ExchangeText

private:
    bool Usable(const wchar_t* name) const {
        return m_node != nullptr && m_control->failingNames.count(name) == 0;
    }
    bool Close() {
        ++m_control->calls;
        m_node = nullptr;
        return true;
    }

    MemoryNode* m_parent;
    std::wstring m_name;
    MemoryControl* m_control;
    MemoryNode* m_node = nullptr;
};

}  // namespace QuorvelTest
