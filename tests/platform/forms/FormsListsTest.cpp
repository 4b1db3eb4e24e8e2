#include "platform/forms/FormsLists.h"
#include "platform/forms/FormsForm.h"
#include "tests/platform/forms/FormsTestFixture.h"

#include <string>
#include <vector>

using namespace forms;

namespace
{
struct ListWindow
{
    Form form;
    ComboBox* pCombo = nullptr;
    ListBox* pList = nullptr;
    std::vector<std::string> log;

    ListWindow()
    {
        form.Show();
        pCombo = form.AddNew<ComboBox>("comboBoxResolution");
        pList = form.AddNew<ListBox>("listBoxChunks");
        pCombo->SelectedIndexChanged.Add(
            [this](Control&, EventArgs&)
            { log.push_back("combo.Selected " + std::to_string(pCombo->GetSelectedIndex())); });
        pCombo->TextChanged.Add([this](Control&, EventArgs&)
                                { log.push_back("combo.Text " + pCombo->GetText()); });
        pCombo->TextUpdate.Add([this](Control&, EventArgs&) { log.push_back("combo.TextUpdate"); });
        pCombo->DropDown.Add([this](Control&, EventArgs&) { log.push_back("combo.DropDown"); });
        pList->SelectedIndexChanged.Add(
            [this](Control&, EventArgs&)
            { log.push_back("list.Selected " + std::to_string(pList->GetSelectedIndex())); });
    }
};

std::vector<std::string> Items(const ListControl& list)
{
    return {list.GetItems().begin(), list.GetItems().end()};
}
} // namespace

TEST_F(FormsTest, SelectionChangesRaiseOnceAndClearingRaisesNothing)
{
    ListWindow w;
    w.pCombo->SetDropDownStyle(ComboBoxStyle::DropDownList);
    for (const char* pItem : {"640 x 480 @ 60 Hz", "800 x 600 @ 60 Hz", "1920 x 1080 @ 60 Hz"})
        w.pCombo->GetItems().Add(pItem);
    EXPECT_EQ(w.pCombo->GetSelectedIndex(), -1);
    EXPECT_EQ(w.pCombo->GetText(), "");

    w.pCombo->SetSelectedIndex(2);
    w.pCombo->SetSelectedIndex(2);
    EXPECT_EQ(w.log, (std::vector<std::string>{"combo.Selected 2", "combo.Text 1920 x 1080 @ 60 Hz"}));
    EXPECT_EQ(w.pCombo->GetSelectedItem(), "1920 x 1080 @ 60 Hz");

    w.log.clear();
    w.pCombo->GetItems().RemoveAt(0);
    EXPECT_EQ(w.pCombo->GetSelectedIndex(), 1) << "the selection moves with its item";
    w.pCombo->GetItems().RemoveAt(1);
    EXPECT_EQ(w.pCombo->GetSelectedIndex(), -1);
    EXPECT_EQ(w.pCombo->GetText(), "");
    w.pCombo->SetSelectedIndex(0);
    w.log.clear();
    w.pCombo->GetItems().Clear();
    EXPECT_EQ(w.pCombo->GetSelectedIndex(), -1);
    EXPECT_TRUE(w.log.empty()) << "removing the selected item and clearing raise nothing";

    w.pList->GetItems().Add("Chunk_A");
    w.pList->GetItems().Add("Chunk_B");
    EXPECT_TRUE(w.pList->UserSelect(1));
    EXPECT_EQ(w.pList->GetSelectedIndices(), (std::vector<int>{1}));
    w.pList->GetItems().Insert(0, "Chunk_0");
    EXPECT_EQ(w.pList->GetSelectedItem(), "Chunk_B");
    w.pList->GetItems().Clear();
    EXPECT_TRUE(w.pList->GetSelectedIndices().empty());
    EXPECT_EQ(w.log, (std::vector<std::string>{"list.Selected 1"}));
}

TEST_F(FormsTest, ASelectionChainThatSetsUnchangedValuesEnds)
{
    // Two lists that select each other's index on change stop once both agree.
    ListWindow w;
    ListBox* pOther = w.form.AddNew<ListBox>("other");
    for (const char* pItem : {"a", "b", "c"})
    {
        w.pList->GetItems().Add(pItem);
        pOther->GetItems().Add(pItem);
    }
    int raised = 0;
    w.pList->SelectedIndexChanged.Add([&](Control&, EventArgs&)
                                      { pOther->SetSelectedIndex(w.pList->GetSelectedIndex()); });
    pOther->SelectedIndexChanged.Add(
        [&](Control&, EventArgs&)
        {
            ++raised;
            w.pList->SetSelectedIndex(pOther->GetSelectedIndex());
        });
    w.pList->SetSelectedIndex(2);
    EXPECT_EQ(pOther->GetSelectedIndex(), 2);
    EXPECT_EQ(raised, 1);
}

TEST_F(FormsTest, SelectedIndexOutOfRangeIsAProgrammingError)
{
    ListWindow w;
    w.pCombo->GetItems().Add("one");
    EXPECT_DEBUG_DEATH(EXPECT_FALSE(w.pCombo->SetSelectedIndex(1)), "");
    EXPECT_DEBUG_DEATH(EXPECT_FALSE(w.pCombo->SetSelectedIndex(-2)), "");
    EXPECT_EQ(w.pCombo->GetSelectedIndex(), -1);
    EXPECT_FALSE(w.pCombo->UserSelect(5)) << "user input never asserts";
    EXPECT_EQ(w.pCombo->GetItems().Insert(3, "x"), -1);
    EXPECT_FALSE(w.pCombo->GetItems().RemoveAt(1));
    EXPECT_DEBUG_DEATH(EXPECT_FALSE(w.pCombo->SetMaxDropDownItems(101)), "");
    EXPECT_TRUE(w.pCombo->SetMaxDropDownItems(100));
}

TEST_F(FormsTest, DropDownListTextFollowsTheSelection)
{
    ListWindow w;
    w.pCombo->SetDropDownStyle(ComboBoxStyle::DropDownList);
    for (const char* pItem : {"Low", "Medium", "High"})
        w.pCombo->GetItems().Add(pItem);
    w.pCombo->SetText("high");
    EXPECT_EQ(w.pCombo->GetSelectedIndex(), 2) << "the matching item, ignoring case";
    EXPECT_EQ(w.pCombo->GetText(), "High");
    w.log.clear();
    w.pCombo->SetText("Ultra");
    EXPECT_EQ(w.pCombo->GetSelectedIndex(), 2) << "no item of that text: nothing changes";
    EXPECT_TRUE(w.log.empty());
    EXPECT_FALSE(w.pCombo->UserTypeText("Med", 3)) << "a drop-down list cannot be typed into";

    EXPECT_TRUE(w.pCombo->UserOpenDropDown());
    EXPECT_TRUE(w.pCombo->GetDroppedDown());
    EXPECT_TRUE(w.pCombo->UserSelect(0));
    EXPECT_FALSE(w.pCombo->GetDroppedDown());
    EXPECT_EQ(w.log, (std::vector<std::string>{"combo.DropDown", "combo.Selected 0", "combo.Text Low"}));

    w.pCombo->SetEnabled(false);
    EXPECT_FALSE(w.pCombo->UserSelect(1));
    EXPECT_FALSE(w.pCombo->UserOpenDropDown());
}

TEST_F(FormsTest, EditableComboTextIsFreeAndSurvivesClearing)
{
    ListWindow w;
    ASSERT_EQ(w.pCombo->GetDropDownStyle(), ComboBoxStyle::DropDown);
    for (const char* pItem : {"CameraPosition", "CameraTarget"})
        w.pCombo->GetItems().Add(pItem);
    EXPECT_TRUE(w.pCombo->UserTypeText("cam pos", 7));
    EXPECT_EQ(w.log, (std::vector<std::string>{"combo.TextUpdate", "combo.Text cam pos"}));
    EXPECT_EQ(w.pCombo->GetSelectionStart(), 7);
    EXPECT_EQ(w.pCombo->GetSelectedIndex(), -1) << "typing selects nothing";

    w.log.clear();
    w.pCombo->SetSelectedIndex(1);
    EXPECT_EQ(w.pCombo->GetText(), "CameraTarget");
    EXPECT_EQ(w.log, (std::vector<std::string>{"combo.Selected 1", "combo.Text CameraTarget"}));

    w.log.clear();
    w.pCombo->GetItems().Clear();
    EXPECT_EQ(w.pCombo->GetText(), "CameraTarget") << "clearing the items leaves the typed text";
    EXPECT_TRUE(w.log.empty());
    w.pCombo->SetText("anything");
    EXPECT_EQ(w.pCombo->GetText(), "anything");
    w.pCombo->SetSelectionStart(100);
    EXPECT_EQ(w.pCombo->GetSelectionStart(), 8) << "clamped to the text";
}

TEST_F(FormsTest, SortedListsInsertAtTheSortedPosition)
{
    ListWindow w;
    w.pList->GetItems().Add("b");
    w.pList->GetItems().Add("A");
    w.pList->SetSelectedIndex(0);
    w.pList->SetSorted(true);
    EXPECT_EQ(Items(*w.pList), (std::vector<std::string>{"A", "b"}));
    EXPECT_EQ(w.pList->GetSelectedItem(), "b") << "sorting keeps the selected item";

    EXPECT_EQ(w.pList->GetItems().Add("a"), 1) << "case-insensitive, then by bytes: \"A\" < \"a\" < \"b\"";
    EXPECT_EQ(w.pList->GetItems().Insert(0, "c"), 3) << "a sorted list ignores the index";
    EXPECT_EQ(w.pList->GetItems().Add("B"), 2);
    EXPECT_EQ(w.pList->GetItems().Add("_"), 0) << "letters fold to lower case, so '_' comes before them";
    EXPECT_EQ(Items(*w.pList), (std::vector<std::string>{"_", "A", "a", "B", "b", "c"}));
    EXPECT_EQ(w.pList->GetSelectedItem(), "b");
    EXPECT_TRUE(SortsBefore("Light10", "light2"));
    EXPECT_FALSE(SortsBefore("abc", "ab"));

    // Unsorted lists take explicit inserts where asked.
    w.pCombo->GetItems().Add("New");
    EXPECT_EQ(w.pCombo->GetItems().Insert(0, "Placer1"), 0);
    EXPECT_EQ(w.pCombo->GetItems().IndexOf("New"), 1);
    EXPECT_EQ(w.pCombo->GetItems().IndexOf("new"), -1) << "IndexOf is exact";
}
