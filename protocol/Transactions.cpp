// STUB: transactions, to be written.
#include "app/QVLSession.h"

TxStatus CQVLSession::Transact(const std::wstring&, std::wstring*) { return TxStatus::WriteFailed; }
std::wstring CQVLSession::TxErrorText(TxStatus) const { return m_strComPort + L" Write Error."; }
bool CQVLSession::QueryQvlVer() { return false; }
bool CQVLSession::get_APN_WIFI_info(std::wstring&) { return false; }
bool CQVLSession::fe_APN_WIFI_info(std::wstring&) { return false; }
bool CQVLSession::set_APN_WIFI_info(std::wstring&) { return false; }
bool CQVLSession::fw_APN_WIFI_info(std::wstring&, const char*) { return false; }
