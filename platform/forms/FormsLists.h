#pragma once
// List controls of the forms stand-in: ComboBox (drop-down and drop-down list styles) and ListBox,
// over one item collection of strings.
//
// Selection rules:
// - SetSelectedIndex raises SelectedIndexChanged when the index changes, and nothing otherwise; an
//   index outside [-1, Count) is a programming error (asserted in debug builds, ignored otherwise).
// - Items.Clear() and Items.RemoveAt of the selected item make the selection -1 without an event;
//   removing or inserting before the selection moves it with its item, also without an event.
// - A sorted list inserts at the sorted position (ASCII case-insensitive, then by bytes, after equal
//   items) and ignores the index given to Insert; making a list sorted sorts it, keeping the
//   selected item selected.
// - ComboBox, DropDownList style: the text is the selected item's ("" without one); setting the
//   text selects the item of that text (exact, else ignoring case) and does nothing when none has
//   it. DropDown (editable) style: the text is free; selecting an item sets the text, selecting -1
//   empties it, and clearing or removing items leaves it as it is.
// - After SelectedIndexChanged, TextChanged follows when the text changed.
// UI thread only.

#include "platform/forms/FormsWidgets.h"

#include <string>
#include <vector>

namespace forms
{

class ListControl;

class ObjectCollection
{
public:
    explicit ObjectCollection(ListControl* pOwner) : m_pOwner(pOwner) {}
    ObjectCollection(const ObjectCollection&) = delete;
    ObjectCollection& operator=(const ObjectCollection&) = delete;

    int Add(const std::string& item); // the index it went to
    // Inserts at index (0..Count; the sorted position in a sorted list); -1 for a bad index.
    int Insert(int index, const std::string& item);
    bool RemoveAt(int index); // false for a bad index
    void Clear();
    int GetCount() const { return int(m_gItems.size()); }
    const std::string& operator[](int index) const; // "" (and an assertion in debug builds) out of range
    int IndexOf(const std::string& item) const;     // exact match; -1 when absent
    bool Contains(const std::string& item) const { return IndexOf(item) >= 0; }
    std::vector<std::string>::const_iterator begin() const { return m_gItems.begin(); }
    std::vector<std::string>::const_iterator end() const { return m_gItems.end(); }

private:
    friend class ListControl;

    ListControl* m_pOwner; // not owned: the list control holding this collection
    std::vector<std::string> m_gItems;
};

// Whether a sorts before b in a sorted list.
bool SortsBefore(const std::string& a, const std::string& b);

class ListControl : public Control
{
public:
    ListControl() : m_items(this) {}

    ObjectCollection& GetItems() { return m_items; }
    const ObjectCollection& GetItems() const { return m_items; }
    bool GetSorted() const { return m_bSorted; }
    void SetSorted(bool sorted);
    int GetSelectedIndex() const { return m_iSelected; }
    bool SetSelectedIndex(int index);
    std::string GetSelectedItem() const; // "" without a selection

    Event<EventArgs> SelectedIndexChanged;

protected:
    // Called after a selection change by code or user, before SelectedIndexChanged is raised.
    virtual void OnSelectionSet() {}
    void RaiseSelectionEvents(const std::string& oldText);

private:
    friend class ObjectCollection;

    void ItemInserted(int index);
    void ItemRemoved(int index);
    void ItemsCleared();

    ObjectCollection m_items;
    int m_iSelected = -1;
    bool m_bSorted = false;
};

enum class ComboBoxStyle
{
    Simple,
    DropDown,
    DropDownList,
};

class ComboBox : public ListControl
{
public:
    ComboBoxStyle GetDropDownStyle() const { return m_eStyle; }
    void SetDropDownStyle(ComboBoxStyle style);
    std::string GetText() const override;
    void SetText(const std::string& text) override;
    int GetSelectionStart() const { return m_iSelectionStart; }
    void SetSelectionStart(int start);
    int GetSelectionLength() const { return m_iSelectionLength; }
    void SetSelectionLength(int length);
    bool GetDroppedDown() const { return m_bDroppedDown; }
    void SetDroppedDown(bool droppedDown); // DropDown when it opens
    int GetMaxDropDownItems() const { return m_iMaxDropDownItems; }
    bool SetMaxDropDownItems(int count); // 1..100; false (asserted in debug builds) otherwise

    Event<EventArgs> DropDown;
    Event<EventArgs> TextUpdate; // the user changed the text by typing

    bool UserOpenDropDown();
    bool UserSelect(int index); // selects the item (closing the drop-down); false for a bad index
    // Typing in the edit field (DropDown style only): the text becomes text with the caret at caret
    // (clamped), raising TextUpdate then TextChanged.
    bool UserTypeText(const std::string& text, int caret);

protected:
    void OnSelectionSet() override;

private:
    ComboBoxStyle m_eStyle = ComboBoxStyle::DropDown;
    std::string m_sEditText; // DropDown and Simple styles
    int m_iSelectionStart = 0;
    int m_iSelectionLength = 0;
    bool m_bDroppedDown = false;
    int m_iMaxDropDownItems = 8;
};

enum class SelectionMode
{
    None,
    One,
};

class ListBox : public ListControl
{
public:
    SelectionMode GetSelectionMode() const { return m_eSelectionMode; }
    void SetSelectionMode(SelectionMode mode) { m_eSelectionMode = mode; }
    std::vector<int> GetSelectedIndices() const; // empty or the one selected index
    bool UserSelect(int index);

private:
    SelectionMode m_eSelectionMode = SelectionMode::One;
};

} // namespace forms
