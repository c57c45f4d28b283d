// Engine error codes. The high byte groups related errors:
// 22 positioning, 23 damaged files, 24 reading and writing, 25 size limits,
// 26 key and value checks, 27 invalid requests, 28 locking, 29 rights,
// 2A engine state, 2B operating-system errors, 2C database server, 2E SQL,
// 2F table version, 30 index definitions, 33 creating tables,
// 3A compression, 3E language drivers.
#pragma once

#include <cstdint>

namespace pirin {

inline constexpr std::uint16_t PIRIN_BOF = 8705;
inline constexpr std::uint16_t PIRIN_EOF = 8706;
inline constexpr std::uint16_t PIRIN_KEYORRECDELETED = 8708;
inline constexpr std::uint16_t PIRIN_NOCURRREC = 8709;
inline constexpr std::uint16_t PIRIN_RECNOTFOUND = 8710;
inline constexpr std::uint16_t PIRIN_ENDOFBLOB = 8711;
inline constexpr std::uint16_t PIRIN_HEADERCORRUPT = 8961;
inline constexpr std::uint16_t PIRIN_FILECORRUPT = 8962;
inline constexpr std::uint16_t PIRIN_MEMOCORRUPT = 8963;
inline constexpr std::uint16_t PIRIN_INDEXCORRUPT = 8965;
inline constexpr std::uint16_t PIRIN_READERR = 9217;
inline constexpr std::uint16_t PIRIN_WRITEERR = 9218;
inline constexpr std::uint16_t PIRIN_FILEDELETEFAIL = 9220;
inline constexpr std::uint16_t PIRIN_FILENOACCESS = 9221;
inline constexpr std::uint16_t PIRIN_RECTOOBIG = 9477;
inline constexpr std::uint16_t PIRIN_TABLEFULL = 9479;
inline constexpr std::uint16_t PIRIN_INTERNALLIMIT = 9482;
inline constexpr std::uint16_t PIRIN_INDEXLIMIT = 9487;
inline constexpr std::uint16_t PIRIN_FLDLIMIT = 9492;
inline constexpr std::uint16_t PIRIN_OPENBLOBLIMIT = 9494;
inline constexpr std::uint16_t PIRIN_BLOBLIMIT = 9498;
inline constexpr std::uint16_t PIRIN_KEYVIOL = 9729;
inline constexpr std::uint16_t PIRIN_MINVALERR = 9730;
inline constexpr std::uint16_t PIRIN_MAXVALERR = 9731;
inline constexpr std::uint16_t PIRIN_REQDERR = 9732;
inline constexpr std::uint16_t PIRIN_OUTOFRANGE = 9985;
inline constexpr std::uint16_t PIRIN_PRIMARYKEYREDEFINE = 9993;
inline constexpr std::uint16_t PIRIN_INVALIDBLOBOFFSET = 9998;
inline constexpr std::uint16_t PIRIN_INVALIDFLDTYPE = 10000;
inline constexpr std::uint16_t PIRIN_INVALIDVCHKSTRUCT = 10006;
inline constexpr std::uint16_t PIRIN_INDEXNAMEREQUIRED = 10010;
inline constexpr std::uint16_t PIRIN_INVALIDPASSWORD = 10015;
inline constexpr std::uint16_t PIRIN_INVALIDINDEXNAME = 10022;
inline constexpr std::uint16_t PIRIN_INVALIDIDXDESC = 10023;
inline constexpr std::uint16_t PIRIN_INVALIDKEY = 10026;
inline constexpr std::uint16_t PIRIN_INDEXEXISTS = 10027;
inline constexpr std::uint16_t PIRIN_INVALIDBLOBLEN = 10029;
inline constexpr std::uint16_t PIRIN_INVALIDBLOBHANDLE = 10030;
inline constexpr std::uint16_t PIRIN_TABLEOPEN = 10031;
inline constexpr std::uint16_t PIRIN_INVALIDFIELDNAME = 10038;
inline constexpr std::uint16_t PIRIN_NOSUCHFILTER = 10050;
inline constexpr std::uint16_t PIRIN_INVALIDFILTER = 10051;
inline constexpr std::uint16_t PIRIN_INVALIDINDEXDELETE = 10055;
inline constexpr std::uint16_t PIRIN_LOCKED = 10241;
inline constexpr std::uint16_t PIRIN_UNLOCKFAILED = 10242;
inline constexpr std::uint16_t PIRIN_LOCKTIMEOUT = 10249;
inline constexpr std::uint16_t PIRIN_NEEDEXCLACCESS = 10253;
inline constexpr std::uint16_t PIRIN_RECLOCKFAILED = 10258;
inline constexpr std::uint16_t PIRIN_NOTSUFFTABLERIGHTS = 10498;
inline constexpr std::uint16_t PIRIN_NOTABLOB = 10753;
inline constexpr std::uint16_t PIRIN_NOTINITIALIZED = 10758;
inline constexpr std::uint16_t PIRIN_OSENOENT = 11010;
inline constexpr std::uint16_t PIRIN_OSEMFILE = 11012;
inline constexpr std::uint16_t PIRIN_OSEACCES = 11013;
inline constexpr std::uint16_t PIRIN_OSEBADF = 11014;
inline constexpr std::uint16_t PIRIN_OSENOMEM = 11016;
inline constexpr std::uint16_t PIRIN_OSEINVMEM = 11017;
inline constexpr std::uint16_t PIRIN_OSENODEV = 11023;
inline constexpr std::uint16_t PIRIN_OSENOTSAM = 11025;
inline constexpr std::uint16_t PIRIN_OSUNKNOWN = 11047;
inline constexpr std::uint16_t PIRIN_REMOTECOMMLOST = 11276;
inline constexpr std::uint16_t PIRIN_REMOTEUNKNOWN = 11279;
inline constexpr std::uint16_t PIRIN_REMOTECONNECT = 11280;
inline constexpr std::uint16_t PIRIN_REMOTENOLOGIN = 11281;
inline constexpr std::uint16_t PIRIN_REMOTEMAXCONNECT = 11282;
inline constexpr std::uint16_t PIRIN_REMOTEADDRESSBLOCK = 11283;
inline constexpr std::uint16_t PIRIN_REMOTECALLBACK = 11284;
inline constexpr std::uint16_t PIRIN_REMOTECALLBACKERR = 11285;
inline constexpr std::uint16_t PIRIN_REMOTEVERSION = 11286;
inline constexpr std::uint16_t PIRIN_REMOTEINVLOGIN = 11287;
inline constexpr std::uint16_t PIRIN_REMOTENOTAUTH = 11288;
inline constexpr std::uint16_t PIRIN_REMOTENOTADMIN = 11289;
inline constexpr std::uint16_t PIRIN_REMOTEINVUSER = 11290;
inline constexpr std::uint16_t PIRIN_REMOTENOUSER = 11291;
inline constexpr std::uint16_t PIRIN_REMOTEDUPUSER = 11292;
inline constexpr std::uint16_t PIRIN_REMOTEINVDB = 11293;
inline constexpr std::uint16_t PIRIN_REMOTENODB = 11294;
inline constexpr std::uint16_t PIRIN_REMOTEDUPDB = 11295;
inline constexpr std::uint16_t PIRIN_REMOTEINVDBUSER = 11296;
inline constexpr std::uint16_t PIRIN_REMOTENODBUSER = 11297;
inline constexpr std::uint16_t PIRIN_REMOTEDUPDBUSER = 11298;
inline constexpr std::uint16_t PIRIN_REMOTEINVREQUEST = 11299;
inline constexpr std::uint16_t PIRIN_IMPORTERROR = 11300;
inline constexpr std::uint16_t PIRIN_EXPORTERROR = 11301;
inline constexpr std::uint16_t PIRIN_SQLPARSE = 11949;
inline constexpr std::uint16_t PIRIN_OLDVERSION = 12035;
inline constexpr std::uint16_t PIRIN_SEARCHCOLREQD = 12292;
inline constexpr std::uint16_t PIRIN_TABLEEXISTS = 13060;
inline constexpr std::uint16_t PIRIN_COMPRESS = 15001;
inline constexpr std::uint16_t PIRIN_UNCOMPRESS = 15002;
inline constexpr std::uint16_t PIRIN_CANNOTLOADLDDRV = 15878;

}  // namespace pirin
