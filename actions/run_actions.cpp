#include "actions/action_keys.h"
#include "actions/actions.h"

namespace actions {

namespace {

// A private copy of a controller's list of record groups: actions may
// reload or switch the project while the list runs.
std::vector<core::DataGroup> RecordsOf(const shell::MenuController& controller, const char* key) {
    std::vector<core::DataGroup> records;
    const core::DataValue* list = controller.Settings.FindValue(key);
    if (!list || !list->GetList()) return records;
    for (const core::DataValue& element : *list->GetList())
        if (const core::DataGroup* group = element.Group()) records.push_back(*group);
    return records;
}

}  // namespace

bool RunActions(shell::MenuWindow& menu, const std::string& controllerId) {
    const shell::MenuController* controller = menu.FindController(controllerId);
    if (!controller) return true;
    const std::vector<core::DataGroup> records = RecordsOf(*controller, "Actions");
    for (const core::DataGroup& record : records) {
        int32_t type = RecordType(record);
        if (type < kActionLaunch || type > kActionAdminRights) continue;
        if (type == kActionExit) return false;
        bool result;
        if (type == kActionAdminRights) {
            result = menu.HasAdminRights();
            if (!result) menu.ShowMessage("[AUTORUN_ERROR_ADMINRIGHTS]", "[AUTORUN_ERROR]", MB_OK | MB_ICONERROR);
        } else {
            result = RunAction(menu, type, record);
        }
        if (!result) break;
    }
    EvaluateDependencies(menu);
    return true;
}

void EvaluateDependencies(shell::MenuWindow& menu) {
    std::vector<shell::MenuController>& controllers = menu.GetProject().controllers;
    for (size_t i = 0; i < controllers.size(); ++i) {
        const std::vector<core::DataGroup> records = RecordsOf(controllers[i], "Dependencies");
        bool available = true;
        for (const core::DataGroup& record : records) {
            int32_t type = RecordType(record);
            if (type < kDependRegistryValue || type > kDependAdminRights) continue;
            available = TestDependency(menu, type, record);
            if (!available) break;
        }
        // A test that runs a program may pump nothing, but stay safe against
        // the list changing under us.
        if (i >= controllers.size()) break;
        shell::MenuController& controller = controllers[i];
        controller.Available = available;
        for (const auto& object : menu.Objects()) {
            if (menu.FindController(object->ControllerID()) != &controller) continue;
            object->Show(!available && controller.Invisible ? SW_HIDE : SW_SHOW);
            object->Enable(available);
        }
    }
}

void InstallEngine() {
    shell::ActionEngine engine;
    engine.runActions = RunActions;
    engine.evaluateDependencies = EvaluateDependencies;
    shell::SetActionEngine(engine);
}

}  // namespace actions
