// The quillmark program: the main window, whose start button runs the logo
// batch job against the built-in logo service.
#include "app/logo_batch.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  quillmark::runProgram(argc, argv, [](quillmark::WindowOperations& window) {
    quillmark::runLogoBatch(window, quillmark::LogoService{quillmark::Text(QUILLMARK_LOGO_HOST)});
  });
}
