// The difference engine: path resolution, the two transforms, the comparison and the workflows.
#pragma once

/// The results of the steps, the workflows and the front end: 0 or a negative code, which the
/// program entry returns as its exit status. The values are fixed: installers and scripts test them.
enum mdResult : int {
    MD_OK = 0,
    MD_ERR_USAGE = -1,              ///< the front end showed the usage text
    MD_ERR_OLD_OPEN = -1,           ///< mdMakeDiff: the old file cannot be opened or read
    MD_ERR_NEW_OPEN = -2,           ///< mdMakeDiff: the new file cannot be opened or read
    MD_ERR_DIFF_CREATE = -3,        ///< mdMakeDiff: the difference file cannot be opened for writing
    MD_ERR_DIFF_WRITE = -4,         ///< mdMakeDiff: the difference file was not written in full
    MD_ERR_SOURCE_OPEN = -10,       ///< mdMakeUpdate: the source cannot be opened or read
    MD_ERR_PATCH_OPEN = -11,        ///< mdMakeUpdate: the difference file cannot be opened or read
    MD_ERR_OUTPUT_CREATE = -12,     ///< mdMakeUpdate: the output cannot be opened for writing
    MD_ERR_TEMP_IN_USE = -12,       ///< the temporary file stays held by another run: its output
                                    ///< cannot be opened for writing, hence the same code
    MD_ERR_OUTPUT_WRITE = -13,      ///< mdMakeUpdate: the output was not written in full
    MD_ERR_REFERENCE_OPEN = -20,    ///< mdVerify: the reference file cannot be opened or read
    MD_ERR_CANDIDATE_OPEN = -21,    ///< mdVerify: the candidate file cannot be opened or read
    MD_ERR_SIZE_MISMATCH = -22,     ///< mdVerify: the files differ in length
    MD_ERR_CONTENT_MISMATCH = -23,  ///< mdVerify: the files differ in content
    MD_ERR_MOVE = -41,              ///< mdDoUpdate: the rebuilt file cannot be moved onto the output
    MD_ERR_ZEL_MISSING = -50,       ///< mdDoZELUpdate: zel.exe is missing (and no zel.original)
    MD_ERR_ZEL_SIZE = -51,          ///< mdDoZELUpdate: zel.exe is not of the pristine size
};

/// Size of every path buffer, terminator included.
constexpr int MD_PATH_MAX = 1024;
/// Bytes of one block, the unit of the transforms' and the comparison's rules (engine/chunk.h).
constexpr int MD_BLOCK_SIZE = 1024;

/// Full path of in, formed against the current directory, into out (MD_PATH_MAX bytes), with
/// trace lines of its long and short forms. A name that cannot be made full is copied unchanged;
/// a path that does not fit is reported and leaves out empty, so that its use fails cleanly: the
/// answer is false then only, which tells it from an empty name.
bool mdResolvePath(char* out, const char* in);

/// Writes diff[i] = new[i] - old[i] (mod 256), as long as new. MD_OK, MD_ERR_OLD_OPEN,
/// MD_ERR_NEW_OPEN, MD_ERR_DIFF_CREATE or MD_ERR_DIFF_WRITE; a read error of an input gives that
/// input's code.
int mdMakeDiff(const char* oldPath, const char* newPath, const char* diffPath);
/// Writes output[i] = diff[i] + source[i] (mod 256), as long as diff. MD_OK, MD_ERR_SOURCE_OPEN,
/// MD_ERR_PATCH_OPEN, MD_ERR_OUTPUT_CREATE or MD_ERR_OUTPUT_WRITE; a read error of an input gives
/// that input's code.
int mdMakeUpdate(const char* sourcePath, const char* diffPath, const char* outputPath);
/// mdMakeUpdate into a temporary file of the program's own: whatever stands under tempPath (a stale
/// file, a link) is removed and a new file is created there, so nothing is written through a link.
int mdMakeUpdateFresh(const char* sourcePath, const char* diffPath, const char* tempPath);
/// Compares two files block by block. MD_OK, MD_ERR_REFERENCE_OPEN or MD_ERR_CANDIDATE_OPEN (a
/// file not opened or not read), MD_ERR_SIZE_MISMATCH or MD_ERR_CONTENT_MISMATCH.
int mdVerify(const char* referencePath, const char* candidatePath);

/// Makes the difference file, then proves it by rebuilding the new file into ~test.tmp.
int mdDoDiff(const char* oldPath, const char* newPath, const char* diffPath);
/// Rebuilds into ~test.tmp, then moves it onto the output (which may be the source). MD_OK,
/// MD_ERR_MOVE or the code of the failed step. outputFormed false (an output path that did not fit
/// its buffer) fails with MD_ERR_MOVE before anything is written.
int mdDoUpdate(const char* sourcePath, const char* diffPath, const char* outputPath, bool verbose,
               bool outputFormed = true);

/// Name of the temporary file of both workflows, in the current directory.
constexpr const char* MD_TEMP_NAME = "~test.tmp";

/// Size in bytes of the pristine product executable zel.exe.
constexpr unsigned long long MD_ZEL_EXE_SIZE = 3138560;

/// Upgrades zel.exe in the current directory from zel.diff, rebuilding from zel.original when it
/// is present, else from zel.exe of the pristine size; zel.exe.backup is written first. MD_OK,
/// MD_ERR_ZEL_MISSING, MD_ERR_ZEL_SIZE or mdDoUpdate's code.
int mdDoZELUpdate(bool verbose);
