// Placeholder until the data centres land; replaced by the real windows.
#include "shell/app/WindowHooks.h"
namespace server {
void ShowFrmServerTcp(QWidget*) {}
void ShowFrmServerUdp(QWidget*) {}
}  // namespace server
