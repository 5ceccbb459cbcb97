#pragma once
// The fixed texts of the log: every line the program writes, as the format
// string the log calls of core/Log.h take. Each is checked against its
// arguments when compiling. A line's text is part of what the program does:
// people and scripts read the log, so a line keeps its words.
// Display-free.

#include <fmt/format.h>

namespace logtext {

// Steps whose name travels with the call: logged alone when the step starts
// (kStep) and first in the line that says why it failed (kStepFailed).
constexpr char kWriteStep[] = "CQVLUtilityDlg::OnBnClickedWrite";
constexpr char kGetInfoStep[] = "CQVLUtilityDlg::get_APN_WIFI_info";
constexpr char kFeInfoStep[] = "CQVLUtilityDlg::fe_APN_WIFI_info";
constexpr auto kStep = FMT_STRING("{}");          // step
constexpr auto kStepFailed = FMT_STRING("{} {}"); // step, reason

// The log itself.
constexpr auto kStart = FMT_STRING("QVLUtility Ver.{} Start.."); // version

// Finding the unit's port.
constexpr auto kEnumDeviceKeyFail = FMT_STRING("CGetComList::EnumQVLCommPort SetupDiOpenDevRegKey fail");
constexpr auto kEnumPortNameFail = FMT_STRING("CGetComList::EnumQVLCommPort RegQueryValueEx fail");
constexpr auto kEnumParentFail = FMT_STRING("CGetComList::EnumQVLCommPort SetupDiGetDeviceProperty fail");
constexpr auto kEnumNotHub2 = FMT_STRING("CGetComList::EnumQVLCommPort not HUB2");
constexpr auto kEnumHardIdBufferFail = FMT_STRING("CGetComList::EnumQVLCommPort pHardID fail {}"); // size
constexpr auto kEnumHardIdFail = FMT_STRING("CGetComList::EnumQVLCommPort SetupDiGetDeviceRegistryProperty fail1");
constexpr auto kEnumNotQvl1 = FMT_STRING("CGetComList::EnumQVLCommPort not QVL1");
constexpr auto kEnumNotQvl2 = FMT_STRING("CGetComList::EnumQVLCommPort not QVL2");
constexpr auto kEnumId = FMT_STRING("{}");      // the identifier that did not match, under the line before
constexpr auto kEnumAdd = FMT_STRING("Add {}"); // port
constexpr auto kEnumClassDevsFail = FMT_STRING("CGetComList::EnumQVLCommPort SetupDiGetClassDevs fail");
constexpr auto kGetQvlComPort = FMT_STRING("CQVLUtilityDlg::GetQvlComPort");
constexpr auto kGetQvlComPortFound = FMT_STRING("GetQvlComPort num:{}, port:{}"); // count, port

// Connecting.
constexpr auto kComPortOpenProcess = FMT_STRING("CQVLUtilityDlg::ComPortOpenProcess [{}]"); // port
constexpr auto kInitSerialFailureAt = FMT_STRING("InitSerial Failure. {}: {}");             // port, reason
constexpr auto kInitSerialFailure = FMT_STRING("InitSerial Failure.");
constexpr auto kStartRecvThreadFailure = FMT_STRING("StartRecvThread Failure.");
constexpr auto kOnCloseQvlSerial = FMT_STRING("CQVLUtilityDlg::OnCloseQvlSerial");
constexpr auto kPortMonitor = FMT_STRING("CQVLUtilityDlg::OnInitDialog PortMonitor:{}"); // 1 listening, 0 not
constexpr auto kOnPortArrived = FMT_STRING("CQVLUtilityDlg::OnPortArrived [{}]");        // port
constexpr auto kDeviceRemoveComplete = FMT_STRING("CQVLUtilityDlg::OnDeviceChange DBT_DEVICEREMOVECOMPLETE");

// The serial port.
constexpr auto kInitSerial = FMT_STRING("CQVLUtilityDlg::InitSerial");
constexpr auto kInitSerialOpenFailed = FMT_STRING("CQVLUtilityDlg::InitSerial {} CreateFile Failure."); // port
constexpr auto kInitSerialOpenReason = FMT_STRING("CQVLUtilityDlg::InitSerial {} {}");                  // port, reason
constexpr auto kInitSerialStepFailed = FMT_STRING("CQVLUtilityDlg::InitSerial {}"); // configuration step
constexpr auto kUninitSerial = FMT_STRING("CQVLUtilityDlg::UninitSerial");
constexpr auto kSendEmptyRefused = FMT_STRING("CQVLUtilityDlg::SendData Empty command line refused.");
constexpr auto kSendNonAsciiRefused =
    FMT_STRING("CQVLUtilityDlg::SendData Command line with non-ASCII characters refused.");
constexpr auto kSendLineEndRefused =
    FMT_STRING("CQVLUtilityDlg::SendData Command line with a line end inside refused.");
constexpr auto kSendStalled = // milliseconds, bytes written, bytes of the line
    FMT_STRING("CQVLUtilityDlg::SendData No progress for {} ms, {} of {} bytes written.");

// The traffic with the unit: each line sent (Tx), the received text after
// every chunk (Rx), the reply the parser awaits.
constexpr auto kTx = FMT_STRING("CQVLUtilityDlg::SendData [{}]");                  // command line
constexpr auto kRx = FMT_STRING("CQVLUtilityDlg::RecvThread [{}]");                // received text
constexpr auto kParseSend = FMT_STRING("CQVLUtilityDlg::ParseRecvData send:[{}]"); // command awaited
constexpr auto kParseSetEvent = FMT_STRING("CQVLUtilityDlg::ParseRecvData SetEvent");
constexpr auto kParsePassedOver = // a line left from an earlier reply, ahead of the awaited one
    FMT_STRING("CQVLUtilityDlg::ParseRecvData passed over:[{}]");

// The receive thread.
constexpr auto kStartRecvThread = FMT_STRING("CQVLUtilityDlg::StartRecvThread");
constexpr auto kStartRecvThreadError = FMT_STRING("CQVLUtilityDlg::StartRecvThread AfxBeginThread Error.");
constexpr auto kRecvThreadTerminate = FMT_STRING("CQVLUtilityDlg::RecvThreadTerminate");

// Exchanges with the unit.
constexpr auto kQueryQvlVer = FMT_STRING("CQVLUtilityDlg::QueryQvlVer");
constexpr auto kQueryQvlVerFailed = FMT_STRING("CQVLUtilityDlg::QueryQvlVer {}");   // reason
constexpr auto kDeviceInfo = FMT_STRING("QvlVersion:{} QvlMcuID:{} QvlSerial: {}"); // version, MCU, serial
constexpr auto kSetInfo = FMT_STRING("CQVLUtilityDlg::set_APN_WIFI_info");
constexpr auto kSetInfoFailed = FMT_STRING("CQVLUtilityDlg::set_APN_WIFI_info {}"); // reason
constexpr auto kWriteWwanField = FMT_STRING("Write WWAN {} {} {}");                 // group, field, value
constexpr auto kWriteWifiField = FMT_STRING("Write WiFi {} {}");                    // field, value

// Each field of a group shown in the form and saved to a preset, as the
// write lines above: for the loops over the field catalogue.
constexpr auto kDisplayWwanField = FMT_STRING("Display WWAN {} {} {}"); // group, field, value
constexpr auto kDisplayWifiField = FMT_STRING("Display WiFi {} {}");    // field, value
constexpr auto kSaveWwanField = FMT_STRING("Save WWAN {} {} {}");       // group, field, value
constexpr auto kSaveWifiField = FMT_STRING("Save WiFi {} {}");          // field, value

// The window.
constexpr auto kSetTimer = FMT_STRING("CQVLUtilityDlg::OnInitDialog SetTimer:{}"); // timer id
constexpr auto kOnFileExit = FMT_STRING("CQVLUtilityDlg::OnFileExit");
constexpr auto kOnAboutAbout = FMT_STRING("CQVLUtilityDlg::OnAboutAbout");
constexpr auto kDisplayConnect = FMT_STRING("CQVLUtilityDlg::DisplayQvlInfo: connect");
constexpr auto kDisplayDisconnect = FMT_STRING("CQVLUtilityDlg::DisplayQvlInfo: disconnect");
constexpr auto kSetDataToGroup = FMT_STRING("CQVLUtilityDlg::SetDataToGroup nNo:{}");             // group
constexpr auto kGetDataFromGroup = FMT_STRING("CQVLUtilityDlg::GetDataFromGroup nNo:{}");         // group
constexpr auto kDisplayModifiedState = FMT_STRING("CQVLUtilityDlg::DisplayModifiedState nNo:{}"); // group
constexpr auto kEnableGroupUI = FMT_STRING("CQVLUtilityDlg::EnableGroupUI nNo:{}");               // group
constexpr auto kMainButtonsEnable = FMT_STRING("CQVLUtilityDlg::MainButtonsEnable");
constexpr auto kLoadSaveMenuEnable = FMT_STRING("CQVLUtilityDlg::LoadSaveMenuEnable");
constexpr auto kWifiChangeByCode = FMT_STRING("CQVLUtilityDlg::OnEnChangeWifi m_bChangeByCode");
constexpr auto kWifiAlreadyChanged = FMT_STRING("CQVLUtilityDlg::OnEnChangeWifi bChanged");
constexpr auto kWifiChanged = FMT_STRING("CQVLUtilityDlg::OnEnChangeWifi bChanged = TRUE");

// Erase, Reload, Write.
constexpr auto kOnBnClickedErase = FMT_STRING("CQVLUtilityDlg::OnBnClickedErase");
constexpr auto kEraseFailed = FMT_STRING("Erase Failed");
constexpr auto kEraseSuccessfully = FMT_STRING("Erase Successfully");
constexpr auto kOnBnClickedReload = FMT_STRING("CQVLUtilityDlg::OnBnClickedReload");
constexpr auto kReloadFailed = FMT_STRING("Reload Failed");
constexpr auto kReloadSuccessfully = FMT_STRING("Reload Successfully");
constexpr auto kWriteRefused = FMT_STRING("CQVLUtilityDlg::OnBnClickedWrite CheckEnterText return false");
constexpr auto kWriteSuccessfully = FMT_STRING("Write Successfully");

// Preset files.
constexpr auto kLoadWwanPresetAsked = FMT_STRING("CQVLUtilityDlg::LoadWwanPreset nNo:{}"); // group
constexpr auto kLoadWwanPresetCancel = FMT_STRING("Load Preset {} Cancel.");               // group
constexpr auto kOnBnClickedLoadpreset5 = FMT_STRING("CQVLUtilityDlg::OnBnClickedLoadpreset5");
constexpr auto kLoadWifiPresetCancel = FMT_STRING("Load Preset Cancel.");
constexpr auto kSaveWwanPresetAsked = FMT_STRING("CQVLUtilityDlg::SaveWwanPreset {}"); // group
constexpr auto kSaveWwanPresetCancel = FMT_STRING("Save Preset {} Cancel.");           // group
constexpr auto kOnBnClickedSavepreset5 = FMT_STRING("CQVLUtilityDlg::OnBnClickedSavepreset5");
constexpr auto kSaveWifiPresetCancel = FMT_STRING("Save Preset Cancel.");
constexpr auto kOnFileLoad = FMT_STRING("CQVLUtilityDlg::OnFileLoad");
constexpr auto kLoadAllPresetCancel = FMT_STRING("Load All Preset Cancel.");
constexpr auto kOnFileSave = FMT_STRING("CQVLUtilityDlg::OnFileSave");
constexpr auto kSaveAllPresetCancel = FMT_STRING("Save All Preset Cancel.");
constexpr auto kLoadWwanPreset = FMT_STRING("Load WWAN Preset {} [{}]");                 // group, path
constexpr auto kLoadWifiPreset = FMT_STRING("Load WiFi Preset [{}]");                    // path
constexpr auto kSaveWwanPreset = FMT_STRING("Save WWAN Preset {} [{}]");                 // group, path
constexpr auto kSaveWifiPreset = FMT_STRING("Save WiFi Preset [{}]");                    // path
constexpr auto kSaveWwanPresetFailed = FMT_STRING("Save WWAN Preset {} Failed [{}] {}"); // group, path, reason
constexpr auto kSaveWifiPresetFailed = FMT_STRING("Save WiFi Preset Failed [{}] {}");    // path, reason
constexpr auto kSaveAllPresetFailed = FMT_STRING("Save All Preset Failed [{}] {}");      // path, reason
constexpr auto kPresetValueRefused =                                                     // key, section, path
    FMT_STRING("Preset value refused: {} of [{}] in [{}] holds a control character.");

// qvlctl.
constexpr auto kCtlOpen = FMT_STRING("qvlctl [{}]");                                       // port
constexpr auto kCtlFailure = FMT_STRING("qvlctl {}");                                      // message
constexpr auto kCtlReadBackDiffers = FMT_STRING("qvlctl read-back differs: {}");           // field
constexpr auto kCtlRestoring = FMT_STRING("qvlctl restoring the previous settings of {}"); // port
constexpr auto kCtlRestoreFailed = FMT_STRING("qvlctl restoring {} failed: {}");           // field, reason
constexpr auto kCtlRestoreDiffers = FMT_STRING("qvlctl restoring: the unit's settings differ from its previous ones");
constexpr auto kCtlOutputFailed = FMT_STRING("qvlctl: the result could not be written to standard output");

} // namespace logtext
