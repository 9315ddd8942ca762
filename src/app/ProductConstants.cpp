#include "app/ProductConstants.h"

#include "core/cvProject.h"

namespace app {

void ApplyProductConstants(core::TcvProject& project) {
  project.SourceMask = "*.doc?";
  project.SourceFilter = "Word Document (*.doc;*.docx)|*.doc;*.docx";
  project.TargetExt = ".txt";
  project.ShortName = "quillex";
  project.ProjectExt = ".batch-" + project.ShortName;
  project.ProjectFilter = "Quillex Project|*" + project.ProjectExt;
  project.Title = "Quillex Converter";
  project.Version = "2020.12.1118.2014";
}

}  // namespace app
