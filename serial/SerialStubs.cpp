// Placeholder until the serial channel lands; replaced by the real windows.
#include "shell/app/WindowHooks.h"
namespace serial {
void ShowFrmSetPort(QWidget*) {}
void ShowFrmInfrared(QWidget*) {}
void AttachReceivePath() {}
void DealData_Infrared() {}
}  // namespace serial
