// CArray<T> and CStringW: the container and string types of the exported interfaces.
// CArray is a thin vector with the accessor names the interfaces use; the library copies
// what it is given, so no ownership crosses the boundary.
#pragma once

#include <string>
#include <utility>
#include <vector>

using CStringW = std::wstring;
using CStringA = std::string;

template <typename T>
class CArray {
public:
    CArray() = default;
    CArray(std::initializer_list<T> init) : m_items(init) {}
    explicit CArray(std::vector<T> items) : m_items(std::move(items)) {}

    long long GetSize() const { return static_cast<long long>(m_items.size()); }
    long long GetCount() const { return GetSize(); }
    bool IsEmpty() const { return m_items.empty(); }
    long long Add(const T& item) {
        m_items.push_back(item);
        return GetSize() - 1;
    }
    void RemoveAll() { m_items.clear(); }
    void RemoveAt(long long index) { m_items.erase(m_items.begin() + index); }
    void SetSize(long long size) { m_items.resize(static_cast<std::size_t>(size)); }
    const T& GetAt(long long index) const { return m_items[static_cast<std::size_t>(index)]; }
    void SetAt(long long index, const T& item) { m_items[static_cast<std::size_t>(index)] = item; }
    T& operator[](long long index) { return m_items[static_cast<std::size_t>(index)]; }
    const T& operator[](long long index) const { return m_items[static_cast<std::size_t>(index)]; }
    void Copy(const CArray& other) { m_items = other.m_items; }

    const std::vector<T>& Items() const { return m_items; }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<T> m_items;
};
