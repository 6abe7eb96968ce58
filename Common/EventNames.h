// Event names that client applications share. The service records any name
// unchanged; these only keep clients consistent with each other.
#pragma once

namespace qrn::analytics::events {

inline constexpr const wchar_t* kSessionInit = L"session.init";
inline constexpr const wchar_t* kSessionRun = L"session.run";
inline constexpr const wchar_t* kFileOpen = L"file.open";
inline constexpr const wchar_t* kFileSave = L"file.save";
inline constexpr const wchar_t* kMeshGenerate = L"mesh.generate";
inline constexpr const wchar_t* kProcessQrnData = L"analytics.process.qrndata";
inline constexpr const wchar_t* kQrnDataProjectContents = L"qrndata.projectcontents";

}  // namespace qrn::analytics::events
