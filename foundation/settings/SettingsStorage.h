// CSettingsStorage: where a settings record's members go. The program owns every storage;
// the driver library receives one by reference and calls it only through the virtual
// operations below, so their order is part of the interface between the two deliverables.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace Zezezezo {

class CSettings;

class CSettingsStorage {
public:
    CSettingsStorage();
    virtual ~CSettingsStorage();
    CSettingsStorage(const CSettingsStorage&) = delete;
    CSettingsStorage& operator=(const CSettingsStorage&) = delete;

    // A new storage (owned by the caller) for the nested record or array `name`, or null.
    virtual CSettingsStorage* CreateChild(const wchar_t* name) = 0;
    // Whether a record goes on with its other members after one fails.
    virtual bool ContinueOnFailure() = 0;

    virtual bool BeginSave();
    virtual bool EndSave();
    virtual bool BeginLoad();
    virtual bool EndLoad();

    // Text: written with its length; read with a 128-character first attempt and a second
    // one of the size the storage asks for. A failed read leaves the string unchanged.
    virtual bool Exchange(const wchar_t* name, std::wstring& value, bool save);
    // A nested record, kept in the child storage `name`.
    virtual bool Exchange(const wchar_t* name, CSettings& value, bool save);
    virtual bool Exchange(const wchar_t* name, float& value, bool save);
    virtual bool Exchange(const wchar_t* name, std::int64_t& value, bool save);
    virtual bool Exchange(const wchar_t* name, std::uint64_t& value, bool save);
    virtual bool Exchange(const wchar_t* name, std::uint8_t& value, bool save);
    virtual bool Exchange(const wchar_t* name, std::int8_t& value, bool save);
    virtual bool Exchange(const wchar_t* name, std::uint16_t& value, bool save);
    virtual bool Exchange(const wchar_t* name, std::int16_t& value, bool save);
    virtual bool Exchange(const wchar_t* name, std::uint32_t& value, bool save);
    virtual bool Exchange(const wchar_t* name, std::int32_t& value, bool save);

    // `size` bytes at `data`.
    virtual bool ExchangeBinary(const wchar_t* name, void* data, std::uint32_t size, bool save) = 0;
    // `*length` in characters: in, the capacity (read) or the length to write; out, the
    // length read, or the length needed when the buffer was too small.
    virtual bool ExchangeText(const wchar_t* name, wchar_t* buffer, std::uint32_t* length,
                              bool save) = 0;
    virtual bool Exchange(const wchar_t* name, double& value, bool save) = 0;
    virtual bool Exchange(const wchar_t* name, bool& value, bool save) = 0;
    virtual bool ExchangeUnsigned32(const wchar_t* name, std::uint32_t& value, bool save) = 0;
    virtual bool ExchangeSigned32(const wchar_t* name, std::int32_t& value, bool save) = 0;

    // Arrays: one current array child at a time, holding "Count" and one child per element
    // named by its index in decimal.
    virtual bool BeginArray(const wchar_t* name, std::int32_t* count, bool save);
    virtual bool ExchangeArrayItem(int index, CSettings* item, bool save);
    virtual bool EndArray(bool save);
    virtual bool BeginArrayChecked(const wchar_t* name, std::int32_t* count, bool save);
    // "Item.<index>" in this storage's name buffer; `unused` is ignored.
    virtual bool ArrayItemName(int index, bool unused, const wchar_t** name);
    virtual bool EndArrayChecked(bool save);

protected:
    // The array opened by BeginArray/BeginArrayChecked; null when none is open.
    std::unique_ptr<CSettingsStorage> m_currentArray;
    wchar_t m_itemName[16];

private:
    // Opens, exchanges "Count" and returns both results; keeps the child as the current array.
    bool OpenArrayChild(std::int32_t* count, bool save, bool* opened);
};

}  // namespace Zezezezo
