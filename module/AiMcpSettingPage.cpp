#include "AiMcpSettingPage.h"

AiMcpSettingPage::AiMcpSettingPage(IUnknown* outer) : AiMcpDualObject(outer) {}

IUnknown* AiMcpSettingPage::_FindInterface(REFIID iid) noexcept
{
    if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IxSettingAiMcp))
        return static_cast<IxSettingAiMcp*>(this);
    if (IsEqualIID(iid, IID_IxHostSettingPage)) return static_cast<IxHostSettingPage*>(this);
    return nullptr;
}

HRESULT AiMcpSettingPage::QueryInterface(REFIID iid, void** out) noexcept
{
    return AiMcpDualObject::QueryInterface(iid, out);
}

ULONG AiMcpSettingPage::AddRef() noexcept
{
    return AiMcpDualObject::AddRef();
}

ULONG AiMcpSettingPage::Release() noexcept
{
    return AiMcpDualObject::Release();
}

// The settings-page interface. The page (layout, controls, load and save) is
// a piece of its own that is not written yet; until then the host is told
// that none of these is implemented.

HRESULT AiMcpSettingPage::GetTitle(BSTR*) noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::GetIcons(BSTR*, BSTR*) noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::GetPageValue(LONG*) noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::CreatePage(IxNode2**) noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::Finish(LONG) noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::Reserved6() noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::Activate(IUnknown*, LONG) noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::Reset() noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::Load() noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::Reserved10() noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::Save() noexcept
{
    return E_NOTIMPL;
}

HRESULT AiMcpSettingPage::Save2() noexcept
{
    return E_NOTIMPL;
}
