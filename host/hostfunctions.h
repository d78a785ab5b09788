// The host's exported functions, in table order: the single list from which the
// function table, its name array, the typed signatures and the host-side
// prototypes are all generated.
//
// TYPED(name, result, parameters, arguments) marks an entry that the plug-in
// calls; its signature is pinned, since every host is built against it.
// `arguments` names the parameters in order, for a host that forwards the call.
// UNTYPED(name) marks an entry that is bound and kept but never called.
#pragma once

#define PPI_HOST_FUNCTIONS(TYPED, UNTYPED)                                                    \
  /* host, log and dialogs (13) */                                                            \
  TYPED(nkGetVersionOfTessarayNK, void, (int* major, int* minor, int* revision),              \
        (major, minor, revision))                                                             \
  UNTYPED(nkGetTessarayNKPath)                                                                \
  UNTYPED(nkGetPluginsPath)                                                                   \
  TYPED(nkShowLogPane, void, (void), ())                                                      \
  UNTYPED(nkShowLogTab)                                                                       \
  TYPED(nkLogText, void, (const char* text), (text))                                          \
  TYPED(nkMessageBox, void, (const char* text), (text))                                       \
  TYPED(nkYesNoMessageBox, int, (const char* text), (text))                                   \
  TYPED(nkGetIntegerInput, int,                                                               \
        (const char* prompt, int defaultValue, int minValue, int maxValue),                   \
        (prompt, defaultValue, minValue, maxValue))                                           \
  UNTYPED(nkGetFloatInput)                                                                    \
  TYPED(nkGetTextInput, int, (const char* prompt, const char* defaultText, char* result),     \
        (prompt, defaultText, result))                                                        \
  TYPED(nkGetOpenFileName, int,                                                               \
        (const char* title, const char* start, const char* filter, char* result),             \
        (title, start, filter, result))                                                       \
  TYPED(nkGetSaveFileName, int,                                                               \
        (const char* title, const char* start, const char* filter, char* result),             \
        (title, start, filter, result))                                                       \
  /* plots (23) */                                                                            \
  UNTYPED(nkCloseAllPlots)                                                                    \
  UNTYPED(nkPlotPoints)                                                                       \
  UNTYPED(nkAddPointsToPlot)                                                                  \
  UNTYPED(nkPlotLine)                                                                         \
  UNTYPED(nkAddLineToPlot)                                                                    \
  UNTYPED(nkPlotBars)                                                                         \
  UNTYPED(nkAddBarsToPlot)                                                                    \
  UNTYPED(nkShowPlotAtPosition)                                                               \
  UNTYPED(nkResizePlot)                                                                       \
  UNTYPED(nkSetBarPlotXAxisCategories)                                                        \
  UNTYPED(nkSetPlotXAxisRange)                                                                \
  UNTYPED(nkSetPlotYAxisRange)                                                                \
  UNTYPED(nkSetPlotXAxisTitle)                                                                \
  UNTYPED(nkSetPlotYAxisTitle)                                                                \
  UNTYPED(nkSetPlotXAxisProperties)                                                           \
  UNTYPED(nkSetPlotYAxisProperties)                                                           \
  UNTYPED(nkSetPlotTitle)                                                                     \
  UNTYPED(nkSetPlotMarkerSizeAndColor)                                                        \
  UNTYPED(nkSetPlotLineSizeAndColor)                                                          \
  UNTYPED(nkSetPlotBarColors)                                                                 \
  UNTYPED(nkSetPlotFontSizes)                                                                 \
  UNTYPED(nkShowPlotLegend)                                                                   \
  UNTYPED(nkSetPlotColorTheme)                                                                \
  /* windows and documents (9) */                                                             \
  TYPED(nkUpdateActiveWindow, void, (void), ())                                               \
  UNTYPED(nkShowBusyCursor)                                                                   \
  UNTYPED(nkStopBusyCursor)                                                                   \
  UNTYPED(nkGetNumberOfDocsInWorkspace)                                                       \
  UNTYPED(nkGetDocumentType)                                                                  \
  UNTYPED(nkGetDocumentTypeName)                                                              \
  UNTYPED(nkGetIDOfCurrentDocument)                                                           \
  UNTYPED(nkSetAsCurrentDocument)                                                             \
  UNTYPED(nkCalculateIAMatrix)                                                                \
  /* volume tools and FMR documents (10) */                                                   \
  UNTYPED(nkGetTRFParametersFromVolumeToolsDlg)                                               \
  UNTYPED(nkGetHeaderOfCurrentFMR)                                                            \
  UNTYPED(nkSetHeaderOfCurrentFMR)                                                            \
  UNTYPED(nkGetSTCFloatDataOfCurrentFMR)                                                      \
  UNTYPED(nkGetSTCIntDataOfCurrentFMR)                                                        \
  UNTYPED(nkGetSTCDataOfCurrentFMR)                                                           \
  UNTYPED(nkSaveFMR)                                                                          \
  UNTYPED(nkSaveFMRAndSTC)                                                                    \
  UNTYPED(nkGetScannerPositionHeaderOfCurrentFMR)                                             \
  UNTYPED(nkSetScannerPositionHeaderOfCurrentFMR)                                             \
  /* DMR documents (8) */                                                                     \
  UNTYPED(nkGetHeaderOfCurrentDMR)                                                            \
  UNTYPED(nkSetHeaderOfCurrentDMR)                                                            \
  UNTYPED(nkGetDWIFloatDataOfCurrentDMR)                                                      \
  UNTYPED(nkGetDWIIntDataOfCurrentDMR)                                                        \
  UNTYPED(nkGetDWIDataOfCurrentDMR)                                                           \
  UNTYPED(nkConvertDWIFormatOfCurrentDMR)                                                     \
  UNTYPED(nkSaveDMR)                                                                          \
  UNTYPED(nkSaveDMRAndDWI)                                                                    \
  /* FMR maps (6) */                                                                          \
  UNTYPED(nkGetMAPOfCurrentFMR)                                                               \
  UNTYPED(nkSetMAPParametersOfCurrentFMR)                                                     \
  UNTYPED(nkDeleteMAPsOfCurrentFMR)                                                           \
  UNTYPED(nkLoadMAPsToCurrentFMR)                                                             \
  UNTYPED(nkSaveMAPsOfCurrentFMR)                                                             \
  UNTYPED(nkCreateMAPForCurrentFMR)                                                           \
  /* VMR documents and their maps (31) */                                                     \
  TYPED(nkGetCurrentVMR, void*, (int* dimX, int* dimY, int* dimZ), (dimX, dimY, dimZ))        \
  UNTYPED(nkGetMainHeaderOfCurrentVMR)                                                        \
  UNTYPED(nkSetMainHeaderOfCurrentVMR)                                                        \
  UNTYPED(nkGetScannerPositionHeaderOfCurrentVMR)                                             \
  UNTYPED(nkSetScannerPositionHeaderOfCurrentVMR)                                             \
  UNTYPED(nkGetPastTransformationsHeaderOfCurrentVMR)                                         \
  UNTYPED(nkSetPastTransformationsHeaderOfCurrentVMR)                                         \
  UNTYPED(nkReframeCurrentVMR)                                                                \
  UNTYPED(nkGetCrossPositionOfCurrentVMR)                                                     \
  UNTYPED(nkGetV16OfCurrentVMR)                                                               \
  UNTYPED(nkDetachV16FromCurrentVMR)                                                          \
  UNTYPED(nkLoadV16ToCurrentVMR)                                                              \
  UNTYPED(nkSaveV16OfCurrentVMR)                                                              \
  UNTYPED(nkConvertV16ToVMR)                                                                  \
  UNTYPED(nkGetNRVMPsOfCurrentVMR)                                                            \
  UNTYPED(nkGetNRVMPOfCurrentVMR)                                                             \
  UNTYPED(nkSetNRVMPParametersOfCurrentVMR)                                                   \
  UNTYPED(nkLoadNRVMPsToCurrentVMR)                                                           \
  UNTYPED(nkAddNRVMPsToCurrentVMR)                                                            \
  UNTYPED(nkSaveNRVMPsOfCurrentVMR)                                                           \
  UNTYPED(nkCreateNRVMPsForCurrentVMR)                                                        \
  UNTYPED(nkDeleteNRVMPsOfCurrentVMR)                                                         \
  UNTYPED(nkDeleteNRVMPMap)                                                                   \
  UNTYPED(nkSetNRVMPsParamsDisplayRange)                                                      \
  UNTYPED(nkGetARVMPsOfCurrentVMR)                                                            \
  UNTYPED(nkGetARVMPOfCurrentVMR)                                                             \
  UNTYPED(nkSetARVMPParametersOfCurrentVMR)                                                   \
  UNTYPED(nkLoadARVMPsToCurrentVMR)                                                           \
  UNTYPED(nkSaveARVMPsOfCurrentVMR)                                                           \
  UNTYPED(nkCreateARVMPsForCurrentVMR)                                                        \
  UNTYPED(nkDeleteARVMPsOfCurrentVMR)                                                         \
  /* VTC time courses (15) */                                                                 \
  TYPED(nkLinkVTCToCurrentVMR, int, (const char* path, int flag), (path, flag))               \
  UNTYPED(nkCreateVTCForCurrentVMR)                                                           \
  TYPED(nkGetHeaderOfVTCOfCurrentVMR, int, (void* header), (header))                          \
  UNTYPED(nkSetHeaderOfVTCOfCurrentVMR)                                                       \
  UNTYPED(nkSetVTCParametersOfCurrentVMR)                                                     \
  TYPED(nkGetVTCFloatDataOfCurrentVMR, float*, (void), ())                                    \
  TYPED(nkGetVTCIntDataOfCurrentVMR, short*, (void), ())                                      \
  UNTYPED(nkGetVTCOfCurrentVMR)                                                               \
  UNTYPED(nkSaveVTCOfCurrentVMR)                                                              \
  UNTYPED(nkClearMultiVTCAnalysis)                                                            \
  UNTYPED(nkAddVTCRefForMultiVTCAnalysis)                                                     \
  UNTYPED(nkGetVoxelTimeCourseOfVTC)                                                          \
  UNTYPED(nkGetVoxelTimeCourseOfVTCs)                                                         \
  UNTYPED(nkGetVoxelCoordsTimeCourseOfVTC)                                                    \
  UNTYPED(nkGetVoxelCoordsTimeCourseOfVTCs)                                                   \
  /* GLM, mask and scene (5) */                                                               \
  UNTYPED(nkGetGLMOfCurrentVMR)                                                               \
  UNTYPED(nkGetGLMContrastsOfCurrentVMR)                                                      \
  UNTYPED(nkLoadMaskToCurrentVMR)                                                             \
  UNTYPED(nkGetMaskOfCurrentVMR)                                                              \
  UNTYPED(nkGetScene)                                                                         \
  /* surfaces and their maps and time courses (29) */                                         \
  UNTYPED(nkLoadSRF)                                                                          \
  UNTYPED(nkAddSRF)                                                                           \
  UNTYPED(nkRemoveCurrentSRF)                                                                 \
  UNTYPED(nkGetCurrentSRF)                                                                    \
  UNTYPED(nkReleaseSRFAccess)                                                                 \
  UNTYPED(nkSaveCurrentSRF)                                                                   \
  UNTYPED(nkSetCurrentSRF)                                                                    \
  UNTYPED(nkGetSMPsOfCurrentSRF)                                                              \
  UNTYPED(nkGetSMPOfCurrentSRF)                                                               \
  UNTYPED(nkSetSMPParametersOfCurrentSRF)                                                     \
  UNTYPED(nkLoadSMPsToCurrentSRF)                                                             \
  UNTYPED(nkSaveSMPsOfCurrentSRF)                                                             \
  UNTYPED(nkCreateSMPForCurrentSRF)                                                           \
  UNTYPED(nkDeleteSMPsOfCurrentSRF)                                                           \
  UNTYPED(nkOverlaySMPsOnSRF)                                                                 \
  UNTYPED(nkLinkMTCToCurrentSRF)                                                              \
  UNTYPED(nkCreateMTCForCurrentSRF)                                                           \
  UNTYPED(nkGetMTCOfCurrentSRF)                                                               \
  UNTYPED(nkSetMTCParametersOfCurrentSRF)                                                     \
  UNTYPED(nkSaveMTCOfCurrentSRF)                                                              \
  UNTYPED(nkClearMultiMTCRefsOfCurrentSRF)                                                    \
  UNTYPED(nkAddMultiMTCRefToCurrentSRF)                                                       \
  UNTYPED(nkGetVertexTimeCourseOfMTC)                                                         \
  UNTYPED(nkGetVertexTimeCourseOfAllMTCs)                                                     \
  UNTYPED(nkGetSSMOfCurrentSRF)                                                               \
  UNTYPED(nkLoadSSMToCurrentSRF)                                                              \
  UNTYPED(nkSaveSSMOfCurrentSRF)                                                              \
  UNTYPED(nkCreateSSMForCurrentSRF)                                                           \
  UNTYPED(nkDeleteSSMOfCurrentSRF)                                                            \
  /* protocols (8) */                                                                         \
  UNTYPED(nkClearProtocol)                                                                    \
  TYPED(nkLoadProtocol, int, (const char* path), (path))                                      \
  UNTYPED(nkSaveProtocol)                                                                     \
  TYPED(nkGetProtocol, int, (void* protocol), (protocol))                                     \
  UNTYPED(nkSetProtocol)                                                                      \
  TYPED(nkGetProtocolCondition, int, (int index, void* condition), (index, condition))        \
  UNTYPED(nkAddProtocolCondition)                                                             \
  UNTYPED(nkAddProtocolConditionInterval)                                                     \
  /* design matrix (12) */                                                                    \
  TYPED(nkClearDesignMatrix, void, (void), ())                                                \
  TYPED(nkAddPredictor, void, (const char* name), (name))                                     \
  TYPED(nkSetPredictorValuesFromCondition, void,                                              \
        (const char* name, int condition, float value),                                       \
        (name, condition, value))                                                             \
  UNTYPED(nkSetPredictorValuesFromConditionName)                                              \
  UNTYPED(nkApplyTwoGammaHRFToPredictor)                                                      \
  TYPED(nkApplyTwoGammaHRFToPredictorWithName, void, (const char* name), (name))              \
  UNTYPED(nkApplyBoyntonHRFToPredictor)                                                       \
  UNTYPED(nkApplyBoyntonHRFToPredictorWithName)                                               \
  UNTYPED(nkGetPredictor)                                                                     \
  TYPED(nkGetPredictorByName, float*, (const char* name), (name))                             \
  UNTYPED(nkLoadSingleStudyGLMDesignMatrix)                                                   \
  TYPED(nkSaveSingleStudyGLMDesignMatrix, void, (const char* path), (path))                   \
  /* VOI and POI (8) */                                                                       \
  TYPED(nkLoadVOIs, int, (const char* path), (path))                                          \
  UNTYPED(nkSaveVOIs)                                                                         \
  TYPED(nkGetVOIs, int, (void* voiSet), (voiSet))                                             \
  TYPED(nkGetVOI, int*, (int index, void* voi), (index, voi))                                 \
  UNTYPED(nkLoadPOIs)                                                                         \
  UNTYPED(nkSavePOIs)                                                                         \
  UNTYPED(nkGetPOIs)                                                                          \
  UNTYPED(nkGetPOI)                                                                           \
  /* parameters (12) */                                                                       \
  TYPED(nkGetStringParameter, void, (const char* name, char* value), (name, value))           \
  TYPED(nkGetIntParameter, int, (const char* name), (name))                                   \
  UNTYPED(nkGetFloatParameter)                                                                \
  TYPED(nkSetStringParameter, void, (const char* name, const char* value), (name, value))     \
  TYPED(nkSetIntParameter, void, (const char* name, int value), (name, value))                \
  UNTYPED(nkSetFloatParameter)                                                                \
  UNTYPED(nkGetDlgStringParameter)                                                            \
  UNTYPED(nkGetDlgIntegerParameter)                                                           \
  UNTYPED(nkGetDlgFloatParameter)                                                             \
  UNTYPED(nkSetDlgStringOutputParameter)                                                      \
  UNTYPED(nkSetDlgIntegerOutputParameter)                                                     \
  UNTYPED(nkSetDlgFloatOutputParameter)                                                       \
  /* ICA (1) */                                                                               \
  UNTYPED(nkLaunchICADialog)
