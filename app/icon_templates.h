// The built-in list of icon templates: the initial text of 编辑框2.
//
// Each line is the file name of one of the logo service's icon templates:
// 3,662 unique ASCII names, lines joined by CR LF, no line break after the
// last. The list is made by app/resources/make-icon-templates.py and built
// into the program as a resource.
#pragma once

#include "text/text.h"

namespace quillmark {

// The whole list, byte for byte as the resource holds it.
Text iconTemplateList();

}  // namespace quillmark
