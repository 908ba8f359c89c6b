// Shared pieces of the tsyui tests: a language service with two texts, the
// host services the factory and builder use (installed in tsycore over a
// path service whose alias "testui" names the fixture folder), a listener
// that records its events, and a pump for the thread's messages.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "DevHostApi.h"
#include "DevHostUi.h"
#include "FixtureFiles.h"
#include "LayoutServices.h"
#include "Language.h"
#include "UniqueBstr.h"

namespace uitest {

class FakeLanguage final : public devhost::ComObject<IxLanguageService, IID_IxLanguageService> {
public:
    HRESULT STDMETHODCALLTYPE GetText(BSTR key, BSTR* text) noexcept override
    {
        if (!text) return E_POINTER;
        *text = nullptr;
        const std::wstring k = key ? key : L"";
        if (k == L"IDS_TEST_CAPTION") *text = SysAllocString(L"Caption \u4E16");
        if (k == L"IDS_OTHER") *text = SysAllocString(L"Other");
        return *text ? S_OK : S_FALSE;
    }
};

class Listener final : public devhost::ComObject<IxEventListener, IID_IxEventListener> {
public:
    struct Event {
        LONG id;
        ComPtr<IxNode2> source;
        bool checkedThen;
    };
    HRESULT STDMETHODCALLTYPE OnEvent(LONG eventId, IUnknown* source, LONG) noexcept override
    {
        Event event{eventId, nullptr, false};
        if (source) source->QueryInterface(IID_IxNode2, event.source.put_void());
        if (const ComPtr<IxCheckBox> box = ComPtr<IUnknown>::Copy(source).As<IxCheckBox>(IID_IxCheckBox)) {
            VARIANT_BOOL checked = VARIANT_FALSE;
            box->GetChecked(&checked);
            event.checkedThen = checked == VARIANT_TRUE;
        }
        events.push_back(event);
        return S_OK;
    }
    std::vector<Event> events;
    ULONG Refs()
    {
        AddRef();
        return Release();
    }
};

inline void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

inline ComPtr<IxNode2> NodeOf(IUnknown* object)
{
    ComPtr<IxNode2> node;
    if (object) object->QueryInterface(IID_IxNode2, node.put_void());
    return node;
}

inline ComPtr<IxElement> Find(IUnknown* root, const wchar_t* id)
{
    return ComPtr<IxElement>::Attach(Util::UI::GetElementById(NodeOf(root).get(), id));
}

// The layout loader (alias testui: the fixture folder, optionally served
// from the fixture archive), the element builder and a language service,
// installed in the host core for the fixture's lifetime.
class HostServices {
public:
    explicit HostServices(bool fromArchive = false)
    {
        std::wstring folder = FixturePath(L"");
        paths = devhost::PathService::Create(folder);
        paths->DefineAlias(UniqueBstr(L"testui").get(), UniqueBstr(folder).get());
        if (fromArchive)
            paths->BindAliasToArchive(UniqueBstr(L"testui").get(), UniqueBstr(FixturePath(L"resource.zip")).get());
        loader = devhost::LayoutLoaderService::Create(paths);
        DevHost::Ui::CreateElementBuilder(builder.put());
        language = devhost::MakeComObject<FakeLanguage>();
        DevHost::SetService(SID_LayoutLoaderService, loader.get());
        DevHost::SetService(SID_ElementBuilderService, builder.get());
        DevHost::SetService(SID_LanguageService, language.get());
    }
    ~HostServices()
    {
        for (const GUID* id : {&SID_LayoutLoaderService, &SID_ElementBuilderService, &SID_LanguageService})
            DevHost::SetService(*id, nullptr);
    }
    HostServices(const HostServices&) = delete;
    HostServices& operator=(const HostServices&) = delete;

    // The built tree of a view of the fixture's frame.xml.
    ComPtr<IUnknown> Build(const wchar_t* view)
    {
        std::wstring text;
        if (FAILED(loader->Load(std::wstring(L"testui:\\frame.xml|") + view, text))) return nullptr;
        ComPtr<IUnknown> root;
        builder->BuildElement(UniqueBstr(text).get(), 0, root.put());
        return root;
    }

    ComPtr<devhost::PathService> paths;
    ComPtr<devhost::LayoutLoaderService> loader;
    ComPtr<IxElementBuilderService> builder;
    ComPtr<FakeLanguage> language;
};

}  // namespace uitest
