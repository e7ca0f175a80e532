// Vantor on Windows: the program's one window until it is closed. A GUI program
// (-mwindows): MinGW's start-up code calls main.
#include "window/Form1.h"

int main() { return window::CreateForm1()->Run(); }
