// The host functions, served by the current host model. A host executable that
// links this file (with -rdynamic) exports them under their C names.
#include <cstdio>

#include "host/hostprototypes.h"
#include "standin/hostmodel.h"

using standin::currentHostModel;

extern "C" {

void nkGetVersionOfTessarayNK(int* major, int* minor, int* revision) {
  if (auto* m = currentHostModel()) m->getVersion(major, minor, revision);
}
void nkShowLogPane(void) {
  if (auto* m = currentHostModel()) m->showLogPane();
}
void nkLogText(const char* text) {
  if (auto* m = currentHostModel()) m->logText(text);
}
void nkMessageBox(const char* text) {
  if (auto* m = currentHostModel()) m->messageBox(text);
}
int nkYesNoMessageBox(const char* text) {
  auto* m = currentHostModel();
  return m != nullptr ? m->yesNoMessageBox(text) : 0;
}
int nkGetIntegerInput(const char* prompt, int defaultValue, int minValue, int maxValue) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getIntegerInput(prompt, defaultValue, minValue, maxValue) : -1;
}
int nkGetTextInput(const char* prompt, const char* defaultText, char* result) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getTextInput(prompt, defaultText, result) : 0;
}
int nkGetOpenFileName(const char* title, const char* start, const char* filter, char* result) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getOpenFileName(title, start, filter, result) : 0;
}
int nkGetSaveFileName(const char* title, const char* start, const char* filter, char* result) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getSaveFileName(title, start, filter, result) : 0;
}
void nkGetStringParameter(const char* name, char* value) {
  if (auto* m = currentHostModel()) {
    m->getStringParameter(name, value);
  } else if (value != nullptr) {
    value[0] = '\0';
  }
}
void nkSetStringParameter(const char* name, const char* value) {
  if (auto* m = currentHostModel()) m->setStringParameter(name, value);
}
int nkGetIntParameter(const char* name) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getIntParameter(name) : 0;
}
void nkSetIntParameter(const char* name, int value) {
  if (auto* m = currentHostModel()) m->setIntParameter(name, value);
}
void* nkGetCurrentVMR(int* dimX, int* dimY, int* dimZ) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getCurrentVMR(dimX, dimY, dimZ) : nullptr;
}
void nkUpdateActiveWindow(void) {
  if (auto* m = currentHostModel()) m->updateActiveWindow();
}
int nkLinkVTCToCurrentVMR(const char* path, int flag) {
  auto* m = currentHostModel();
  return m != nullptr ? m->linkVTCToCurrentVMR(path, flag) : 0;
}
int nkGetHeaderOfVTCOfCurrentVMR(void* header) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getHeaderOfVTCOfCurrentVMR(header) : 0;
}
float* nkGetVTCFloatDataOfCurrentVMR(void) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getVTCFloatDataOfCurrentVMR() : nullptr;
}
short* nkGetVTCIntDataOfCurrentVMR(void) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getVTCIntDataOfCurrentVMR() : nullptr;
}
int nkLoadProtocol(const char* path) {
  auto* m = currentHostModel();
  return m != nullptr ? m->loadProtocol(path) : 0;
}
int nkGetProtocol(void* protocol) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getProtocol(protocol) : 0;
}
int nkGetProtocolCondition(int index, void* condition) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getProtocolCondition(index, condition) : 0;
}
void nkClearDesignMatrix(void) {
  if (auto* m = currentHostModel()) m->clearDesignMatrix();
}
void nkAddPredictor(const char* name) {
  if (auto* m = currentHostModel()) m->addPredictor(name);
}
void nkSetPredictorValuesFromCondition(const char* name, int condition, float value) {
  if (auto* m = currentHostModel()) m->setPredictorValuesFromCondition(name, condition, value);
}
void nkApplyTwoGammaHRFToPredictorWithName(const char* name) {
  if (auto* m = currentHostModel()) m->applyTwoGammaHRFToPredictorWithName(name);
}
float* nkGetPredictorByName(const char* name) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getPredictorByName(name) : nullptr;
}
void nkSaveSingleStudyGLMDesignMatrix(const char* path) {
  if (auto* m = currentHostModel()) m->saveSingleStudyGLMDesignMatrix(path);
}
int nkLoadVOIs(const char* path) {
  auto* m = currentHostModel();
  return m != nullptr ? m->loadVOIs(path) : 0;
}
int nkGetVOIs(void* voiSet) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getVOIs(voiSet) : 0;
}
int* nkGetVOI(int index, void* voi) {
  auto* m = currentHostModel();
  return m != nullptr ? m->getVOI(index, voi) : nullptr;
}

}  // extern "C"

// The host exports every function of its interface. The stand-in serves only
// those the plug-in calls; the others say so when called.
#define STANDIN_SERVED(name, result, parameters)
#define STANDIN_NOT_SERVED(name)                                                   \
  extern "C" PPI_HOST_API void name(void) {                                        \
    std::fprintf(stderr, "[host] %s is not served by the stand-in host\n", #name); \
  }
PPI_HOST_FUNCTIONS(STANDIN_SERVED, STANDIN_NOT_SERVED)
#undef STANDIN_SERVED
#undef STANDIN_NOT_SERVED
