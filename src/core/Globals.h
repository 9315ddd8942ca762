#pragma once
// Accessors of the process-wide objects that the engine reads: the information object and the
// project. The program installs its instances at start-up (in order) and removes them at the
// end; tests install their own. A missing instance reads as nullptr.
namespace core {

class TcvInfo;
class TcvProject;

TcvInfo* cvInfo();
void SetCvInfo(TcvInfo* info);
TcvProject* cvProject();
void SetCvProject(TcvProject* project);

}  // namespace core
