#include "platform/forms/FormsLists.h"

#include <algorithm>
#include <cassert>

namespace forms
{

namespace
{
char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    return true;
}
} // namespace

bool SortsBefore(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
    {
        const unsigned char ca = static_cast<unsigned char>(FoldCase(a[i]));
        const unsigned char cb = static_cast<unsigned char>(FoldCase(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

int ObjectCollection::Add(const std::string& item)
{
    return Insert(GetCount(), item);
}

int ObjectCollection::Insert(int index, const std::string& item)
{
    if (index < 0 || index > GetCount())
        return -1;
    if (m_pOwner->GetSorted())
    {
        const auto it = std::upper_bound(m_gItems.begin(), m_gItems.end(), item, SortsBefore);
        index = int(it - m_gItems.begin());
    }
    m_gItems.insert(m_gItems.begin() + index, item);
    m_pOwner->ItemInserted(index);
    return index;
}

bool ObjectCollection::RemoveAt(int index)
{
    if (index < 0 || index >= GetCount())
        return false;
    m_gItems.erase(m_gItems.begin() + index);
    m_pOwner->ItemRemoved(index);
    return true;
}

void ObjectCollection::Clear()
{
    m_gItems.clear();
    m_pOwner->ItemsCleared();
}

const std::string& ObjectCollection::operator[](int index) const
{
    static const std::string s_empty;
    if (index < 0 || index >= GetCount())
    {
        assert(!"item index out of range");
        return s_empty;
    }
    return m_gItems[std::size_t(index)];
}

int ObjectCollection::IndexOf(const std::string& item) const
{
    const auto it = std::find(m_gItems.begin(), m_gItems.end(), item);
    return it == m_gItems.end() ? -1 : int(it - m_gItems.begin());
}

void ListControl::SetSorted(bool sorted)
{
    if (sorted == m_bSorted)
        return;
    m_bSorted = sorted;
    if (!sorted)
        return;
    std::vector<std::string>& items = m_items.m_gItems;
    std::vector<int> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&items](int a, int b)
                     { return SortsBefore(items[std::size_t(a)], items[std::size_t(b)]); });
    std::vector<std::string> sortedItems;
    sortedItems.reserve(items.size());
    int selected = -1;
    for (std::size_t i = 0; i < order.size(); ++i)
    {
        sortedItems.push_back(items[std::size_t(order[i])]);
        if (order[i] == m_iSelected)
            selected = int(i);
    }
    items.swap(sortedItems);
    m_iSelected = selected;
}

bool ListControl::SetSelectedIndex(int index)
{
    if (index < -1 || index >= m_items.GetCount())
    {
        assert(!"SetSelectedIndex out of range");
        return false;
    }
    if (index == m_iSelected)
        return true;
    const std::string oldText = GetText();
    m_iSelected = index;
    OnSelectionSet();
    RaiseSelectionEvents(oldText);
    return true;
}

void ListControl::RaiseSelectionEvents(const std::string& oldText)
{
    SelectedIndexChanged.Raise(*this);
    if (GetText() != oldText)
        TextChanged.Raise(*this);
}

std::string ListControl::GetSelectedItem() const
{
    return m_iSelected < 0 ? std::string() : m_items[m_iSelected];
}

void ListControl::ItemInserted(int index)
{
    if (m_iSelected >= index)
        ++m_iSelected;
}

void ListControl::ItemRemoved(int index)
{
    if (m_iSelected == index)
        m_iSelected = -1;
    else if (m_iSelected > index)
        --m_iSelected;
}

void ListControl::ItemsCleared()
{
    m_iSelected = -1;
}

void ComboBox::SetDropDownStyle(ComboBoxStyle style)
{
    if (style == m_eStyle)
        return;
    // The edit text of a list becoming editable starts as the text it showed.
    if (m_eStyle == ComboBoxStyle::DropDownList)
        m_sEditText = GetSelectedItem();
    m_eStyle = style;
}

std::string ComboBox::GetText() const
{
    if (m_eStyle == ComboBoxStyle::DropDownList)
        return GetSelectedItem();
    return m_sEditText;
}

void ComboBox::SetText(const std::string& text)
{
    if (m_eStyle != ComboBoxStyle::DropDownList)
    {
        if (text == m_sEditText)
            return;
        m_sEditText = text;
        m_iSelectionStart = std::min(m_iSelectionStart, int(text.size()));
        m_iSelectionLength = std::min(m_iSelectionLength, int(text.size()) - m_iSelectionStart);
        TextChanged.Raise(*this);
        return;
    }
    const ObjectCollection& items = GetItems();
    int found = items.IndexOf(text);
    for (int i = 0; found < 0 && i < items.GetCount(); ++i)
        if (EqualsIgnoringCase(items[i], text))
            found = i;
    if (found >= 0)
        SetSelectedIndex(found);
}

void ComboBox::OnSelectionSet()
{
    if (m_eStyle == ComboBoxStyle::DropDownList)
        return;
    m_sEditText = GetSelectedItem();
    m_iSelectionStart = 0;
    m_iSelectionLength = int(m_sEditText.size());
}

void ComboBox::SetSelectionStart(int start)
{
    m_iSelectionStart = std::clamp(start, 0, int(GetText().size()));
    m_iSelectionLength = std::min(m_iSelectionLength, int(GetText().size()) - m_iSelectionStart);
}

void ComboBox::SetSelectionLength(int length)
{
    m_iSelectionLength = std::clamp(length, 0, int(GetText().size()) - m_iSelectionStart);
}

void ComboBox::SetDroppedDown(bool droppedDown)
{
    if (droppedDown == m_bDroppedDown)
        return;
    m_bDroppedDown = droppedDown;
    if (droppedDown)
        DropDown.Raise(*this);
}

bool ComboBox::SetMaxDropDownItems(int count)
{
    if (count < 1 || count > 100)
    {
        assert(!"MaxDropDownItems outside 1..100");
        return false;
    }
    m_iMaxDropDownItems = count;
    return true;
}

bool ComboBox::UserOpenDropDown()
{
    if (!IsUsable())
        return false;
    SetDroppedDown(true);
    return true;
}

bool ComboBox::UserSelect(int index)
{
    if (!IsUsable() || index < 0 || index >= GetItems().GetCount())
        return false;
    SetDroppedDown(false);
    return SetSelectedIndex(index);
}

bool ComboBox::UserTypeText(const std::string& text, int caret)
{
    if (!IsUsable() || m_eStyle == ComboBoxStyle::DropDownList)
        return false;
    const bool changed = text != m_sEditText;
    m_sEditText = text;
    m_iSelectionStart = std::clamp(caret, 0, int(text.size()));
    m_iSelectionLength = 0;
    if (!changed)
        return true;
    TextUpdate.Raise(*this);
    TextChanged.Raise(*this);
    return true;
}

std::vector<int> ListBox::GetSelectedIndices() const
{
    if (GetSelectedIndex() < 0)
        return {};
    return {GetSelectedIndex()};
}

bool ListBox::UserSelect(int index)
{
    if (!IsUsable() || m_eSelectionMode == SelectionMode::None || index < 0 || index >= GetItems().GetCount())
        return false;
    return SetSelectedIndex(index);
}

} // namespace forms
