#include "ui/ActionManager.h"

namespace vantrel {

TActionManager::~TActionManager() {
    if (FAccelerators)
        DestroyAcceleratorTable(FAccelerators);
}

TAction& TActionManager::Add(const wchar_t* category, const wchar_t* menuCaption, int imageIndex,
                             WORD shortCut, std::function<void()> onExecute) {
    auto action = std::make_unique<TAction>();
    action->Category = category;
    action->MenuCaption = menuCaption;
    action->Caption = WithoutAccessKey(action->MenuCaption);
    action->ImageIndex = imageIndex;
    action->ShortCut = shortCut;
    action->CommandId = kFirstCommandId + static_cast<UINT>(FActions.size());
    action->OnExecute = std::move(onExecute);
    FActions.push_back(std::move(action));
    if (FAccelerators) {
        DestroyAcceleratorTable(FAccelerators);
        FAccelerators = nullptr;
    }
    return *FActions.back();
}

TAction* TActionManager::FindById(UINT commandId) {
    for (auto& action : FActions)
        if (action->CommandId == commandId)
            return action.get();
    return nullptr;
}

void TActionManager::SetEnabled(TAction& action, bool enabled) {
    if (action.Enabled == enabled)
        return;
    action.Enabled = enabled;
    if (OnEnabledChanged)
        OnEnabledChanged(action);
}

bool TActionManager::Execute(TAction& action) {
    if (!action.Enabled)
        return false;
    return ExecuteHandler(action);
}

bool TActionManager::ExecuteHandler(TAction& action) {
    if (!action.OnExecute)
        return false;
    if (OnBeforeExecute)
        OnBeforeExecute();
    action.OnExecute();
    return true;
}

bool TActionManager::ExecuteCommand(UINT commandId) {
    TAction* action = FindById(commandId);
    if (!action)
        return false;
    if (!Window || IsWindowEnabled(Window))
        Execute(*action);
    return true;
}

HACCEL TActionManager::Accelerators() {
    if (FAccelerators)
        return FAccelerators;
    std::vector<ACCEL> table;
    for (auto& action : FActions)
        if (action->ShortCut != 0)
            table.push_back(
                ACCEL{FVIRTKEY, action->ShortCut, static_cast<WORD>(action->CommandId)});
    if (!table.empty())
        FAccelerators = CreateAcceleratorTableW(table.data(), static_cast<int>(table.size()));
    return FAccelerators;
}

std::wstring WithoutAccessKey(const std::wstring& caption) {
    std::wstring plain;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size())
            ++i;
        plain += caption[i];
    }
    return plain;
}

std::wstring ShortCutText(WORD virtualKey) {
    if (virtualKey >= VK_F1 && virtualKey <= VK_F24)
        return L"F" + std::to_wstring(virtualKey - VK_F1 + 1);
    if (virtualKey == 0)
        return std::wstring();
    UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    wchar_t name[64] = {};
    if (GetKeyNameTextW(static_cast<LONG>(scan << 16), name, 64) > 0)
        return name;
    return std::wstring();
}

} // namespace vantrel
