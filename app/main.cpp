// The quillmark program: the main window, whose start button runs the logo
// batch job against the built-in logo service, started on demand from this
// program's folder when it is the local one and nobody runs it.
#include "app/logo_batch.h"
#include "app/service_on_demand.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  quillmark::runProgram(argc, argv,
                        quillmark::logoJob(quillmark::LogoService{quillmark::Text(QUILLMARK_LOGO_HOST)},
                                           quillmark::ServiceLaunch{quillmark::serviceBesideThisProgram()}));
}
