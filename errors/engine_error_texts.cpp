#include "errors/engine_error_texts.h"

#include <algorithm>
#include <array>

#include "errors/engine_error_codes.h"

namespace pirin {

namespace {

// Sorted by code for the binary search below.
const std::vector<TEngineErrorText>& Texts() {
    static const std::vector<TEngineErrorText> texts = {
        {PIRIN_BOF, "Beginning of table '%s' unexpectedly encountered", {kTable}},
        {PIRIN_EOF, "End of table '%s' unexpectedly encountered", {kTable}},
        {PIRIN_KEYORRECDELETED, "Record has been changed or deleted by another user, session, or table cursor in the table '%s'", {kTable}},
        {PIRIN_NOCURRREC, "No current record in the table '%s'", {kTable}},
        {PIRIN_RECNOTFOUND, "Record not found in the table '%s'", {kTable}},
        {PIRIN_ENDOFBLOB, "End of blob data in the table '%s' reached prematurely", {kTable}},
        {PIRIN_HEADERCORRUPT, "Header information corrupt in the table '%s'", {kTable}},
        {PIRIN_FILECORRUPT, "Data record buffers corrupt in the table '%s'", {kTable}},
        {PIRIN_MEMOCORRUPT, "BLOB block buffers corrupt in the table '%s'", {kTable}},
        {PIRIN_INDEXCORRUPT, "Index page buffers corrupt in the table '%s'", {kTable}},
        {PIRIN_READERR, "Error reading from the table '%s'", {kTable}},
        {PIRIN_WRITEERR, "Error writing to the table '%s'", {kTable}},
        {PIRIN_FILEDELETEFAIL, "Cannot delete the table '%s'", {kTable}},
        {PIRIN_FILENOACCESS, "Error accessing header information for the table '%s'", {kTable}},
        {PIRIN_RECTOOBIG, "Maximum record size exceeded in the table '%s'", {kTable}},
        {PIRIN_TABLEFULL, "The table '%s' is full and cannot contain any more data", {kTable}},
        {PIRIN_INTERNALLIMIT, "Too many filters defined for the table '%s'", {kTable}},
        {PIRIN_INDEXLIMIT, "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table '%s'", {kTable}},
        {PIRIN_FLDLIMIT, "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in the table '%s'", {kTable}},
        {PIRIN_OPENBLOBLIMIT, "Too many blobs opened in the table '%s'", {kTable}},
        {PIRIN_BLOBLIMIT, "Too many blob fields or invalid blob block size specified for the table '%s'", {kTable}},
        {PIRIN_KEYVIOL, "Duplicate key found in the index '%s' of the table '%s'", {kIndex, kTable}},
        {PIRIN_MINVALERR, "The value for the field '%s' in the table '%s' is below the minimum allowable value", {kField, kTable}},
        {PIRIN_MAXVALERR, "The value for the field '%s' in the table '%s' is above the maximum allowable value", {kField, kTable}},
        {PIRIN_REQDERR, "A value must be provided for the field '%s' in the table '%s'", {kField, kTable}},
        {PIRIN_OUTOFRANGE, "Invalid field number or name '%s' specified for the table '%s'", {kField, kTable}},
        {PIRIN_PRIMARYKEYREDEFINE, "A primary index is already defined for the table '%s' and cannot be added again", {kTable}},
        {PIRIN_INVALIDBLOBOFFSET, "Invalid blob offset into the table '%s' specified", {kTable}},
        {PIRIN_INVALIDFLDTYPE, "Invalid field definition specified for the field '%s' in the table '%s'", {kField, kTable}},
        {PIRIN_INVALIDVCHKSTRUCT, "Invalid default, min or max validity check, or expression specified for the field '%s' in the table '%s'", {kField, kTable}},
        {PIRIN_INDEXNAMEREQUIRED, "The secondary index name is missing or not specified for the table '%s'", {kTable}},
        {PIRIN_INVALIDPASSWORD, "Password provided for the table '%s' is invalid", {kTable}},
        {PIRIN_INVALIDINDEXNAME, "Invalid secondary index name '%s' specified for the table '%s'", {kIndex, kTable}},
        {PIRIN_INVALIDIDXDESC, "Invalid field number '%s' specified in the index '%s' for the table '%s'", {kField, kIndex, kTable}},
        {PIRIN_INVALIDKEY, "Invalid key size specified in the index '%s' for the table '%s'", {kIndex, kTable}},
        {PIRIN_INDEXEXISTS, "The secondary index '%s' already exists for the table '%s'", {kIndex, kTable}},
        {PIRIN_INVALIDBLOBLEN, "Invalid blob length in the table '%s'", {kTable}},
        {PIRIN_INVALIDBLOBHANDLE, "Invalid blob handle for the table '%s' specified", {kTable}},
        {PIRIN_TABLEOPEN, "The table '%s' is already in use", {kTable}},
        {PIRIN_INVALIDFIELDNAME, "Invalid or duplicate field name '%s' specified for the table '%s'", {kField, kTable}},
        {PIRIN_NOSUCHFILTER, "Invalid filter handle specified for the table '%s'", {kTable}},
        {PIRIN_INVALIDFILTER, "Filter error for the table '%s' - %s", {kTable, kMessage}},
        {PIRIN_INVALIDINDEXDELETE, "The primary index cannot be removed from the table '%s'", {kTable}},
        {PIRIN_LOCKED, "The table '%s' is already locked by another user", {kTable}},
        {PIRIN_UNLOCKFAILED, "Cannot unlock table or record in the table '%s'", {kTable}},
        {PIRIN_LOCKTIMEOUT, "General lock failure with the table '%s'", {kTable}},
        {PIRIN_NEEDEXCLACCESS, "The table '%s' must be opened exclusively", {kTable}},
        {PIRIN_RECLOCKFAILED, "Record in the table '%s' is in use by another user", {kTable}},
        {PIRIN_NOTSUFFTABLERIGHTS, "Insufficient rights to the table '%s', a password is required", {kTable}},
        {PIRIN_NOTABLOB, "Invalid blob field '%s' specified for the table '%s'", {kField, kTable}},
        {PIRIN_NOTINITIALIZED, "The database engine is not initialized", {}},
        {PIRIN_OSENOENT, "Table '%s' does not exist", {kTable}},
        {PIRIN_OSEMFILE, "Too many operating system files open while attempting to open the table '%s'", {kTable}},
        {PIRIN_OSEACCES, "Access denied to table '%s'", {kTable}},
        {PIRIN_OSEBADF, "Invalid operating system file handle for the table '%s'", {kTable}},
        {PIRIN_OSENOMEM, "There is insufficient operating system memory available for the current operation", {}},
        {PIRIN_OSEINVMEM, "Invalid length for the in-memory table '%s'", {kTable}},
        {PIRIN_OSENODEV, "Access denied to logical operating system device for the table '%s'", {kTable}},
        {PIRIN_OSENOTSAM, "The table '%s' has been moved", {kTable}},
        {PIRIN_OSUNKNOWN, "An unknown operating system error occurred with the table '%s'", {kTable}},
        {PIRIN_REMOTECOMMLOST, "The connection to the database server at '%s' has been lost", {kServer}},
        {PIRIN_REMOTEUNKNOWN, "An unknown error ('%s') occurred with the connection to the database server at '%s', please check the server log", {kMessage, kServer}},
        {PIRIN_REMOTECONNECT, "A connection to the database server at '%s' cannot be established", {kServer}},
        {PIRIN_REMOTENOLOGIN, "A connection to the database server at '%s' cannot be established, the server is not accepting new logins", {kServer}},
        {PIRIN_REMOTEMAXCONNECT, "A connection to the database server at '%s' cannot be established, the maximum number of connections has been reached", {kServer}},
        {PIRIN_REMOTEADDRESSBLOCK, "A connection to the database server at '%s' cannot be established, the client address is blocked", {kServer}},
        {PIRIN_REMOTECALLBACKERR, "A server callback error occurred for the database server at '%s'", {kServer}},
        {PIRIN_REMOTEVERSION, "A call to the database server at '%s' failed, the client engine version does not match the server", {kServer}},
        {PIRIN_REMOTEINVLOGIN, "A connection to the database server at '%s' cannot be established, the login information provided is invalid", {kServer}},
        {PIRIN_REMOTENOTAUTH, "The user '%s' is not authorized to perform this operation with the database '%s' on the database server at '%s'", {kUser, kDatabase, kServer}},
        {PIRIN_REMOTENOTADMIN, "The user '%s' is not authorized to perform administration functions on the database server at '%s'", {kUser, kServer}},
        {PIRIN_REMOTEINVUSER, "The user name is either invalid or blank", {}},
        {PIRIN_REMOTENOUSER, "The user '%s' does not exist on the database server at '%s'", {kUser, kServer}},
        {PIRIN_REMOTEDUPUSER, "The user '%s' already exists on the database server at '%s'", {kUser, kServer}},
        {PIRIN_REMOTEINVDB, "The database name or directory is either invalid or blank", {}},
        {PIRIN_REMOTENODB, "The database '%s' does not exist on the database server at '%s'", {kDatabase, kServer}},
        {PIRIN_REMOTEDUPDB, "The database '%s' already exists on the database server at '%s'", {kDatabase, kServer}},
        {PIRIN_REMOTEINVDBUSER, "The database user name is either invalid or blank", {}},
        {PIRIN_REMOTENODBUSER, "The database user '%s' does not exist for the database '%s' on the database server at '%s'", {kUser, kDatabase, kServer}},
        {PIRIN_REMOTEDUPDBUSER, "The database user '%s' already exists for the database '%s' on the database server at '%s'", {kUser, kDatabase, kServer}},
        {PIRIN_REMOTEINVREQUEST, "An invalid or unknown request was made to the database server at '%s'", {kServer}},
        {PIRIN_IMPORTERROR, "An error occurred during the import into the table '%s' - %s", {kTable, kMessage}},
        {PIRIN_EXPORTERROR, "An error occurred during the export from the table '%s' - %s", {kTable, kMessage}},
        {PIRIN_SQLPARSE, "SQL error - %s", {kMessage}},
        {PIRIN_OLDVERSION, "The table '%s' is not the correct version", {kTable}},
        {PIRIN_SEARCHCOLREQD, "Invalid field '%s' specified for the index '%s' in the table '%s'", {kField, kIndex, kTable}},
        {PIRIN_TABLEEXISTS, "The table '%s' already exists", {kTable}},
        {PIRIN_COMPRESS, "Error compressing data", {}},
        {PIRIN_UNCOMPRESS, "Error uncompressing data", {}},
        {PIRIN_CANNOTLOADLDDRV, "The language driver for the table '%s' is not available or installed", {kTable}},
    };
    return texts;
}

}  // namespace

const TEngineErrorText* FindEngineErrorText(std::uint16_t code) {
    const auto& texts = Texts();
    auto it = std::lower_bound(texts.begin(), texts.end(), code,
                               [](const TEngineErrorText& e, std::uint16_t c) { return e.Code < c; });
    return it != texts.end() && it->Code == code ? &*it : nullptr;
}

}  // namespace pirin
