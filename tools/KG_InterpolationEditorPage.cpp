#include "tools/KG_InterpolationEditorPage.h"

#include "tools/KG_InterpolationEditorDialog.h"

namespace K_GUI
{

bool KG_InterpolationEditorPage::IsShown() const
{
    return m_rDialog.GetShownPage() == this;
}

} // namespace K_GUI
