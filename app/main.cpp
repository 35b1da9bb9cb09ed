// The quillmark program: the main window and its event loop.
#include "app/startup.h"

int main(int argc, char** argv) {
  // The logo batch job is not part of the program yet: 按钮1 starts a job
  // that does nothing.
  quillmark::runProgram(argc, argv, [](quillmark::WindowOperations&) {});
}
