#include "core/Globals.h"

#include <atomic>

namespace core {

namespace {
std::atomic<TcvInfo*> g_info{nullptr};
std::atomic<TcvProject*> g_project{nullptr};
}  // namespace

TcvInfo* cvInfo() { return g_info.load(); }
void SetCvInfo(TcvInfo* info) { g_info.store(info); }
TcvProject* cvProject() { return g_project.load(); }
void SetCvProject(TcvProject* project) { g_project.store(project); }

}  // namespace core
