#include "app/ProductConstants.h"

#include "core/cvProject.h"

#ifndef QX_VERSION
#define QX_VERSION "2020.12.1118.2014"
#endif

namespace app {

const char kShortName[] = "quillex";
const char kVersion[] = QX_VERSION;
const char kOfficeAccount[] = "quillex";

void ApplyProductConstants(core::TcvProject& project) {
  project.SourceMask = "*.doc?";
  project.SourceFilter = "Word Document (*.doc;*.docx)|*.doc;*.docx";
  project.TargetExt = ".txt";
  project.ShortName = kShortName;
  project.ProjectExt = ".batch-" + project.ShortName;
  project.ProjectFilter = "Quillex Project|*" + project.ProjectExt;
  project.Title = "Quillex Converter";
  project.Version = kVersion;
}

}  // namespace app
