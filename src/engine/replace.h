// How the update workflow puts its rebuilt file in the output's place; tests install fakes.
#pragma once

/// The two steps of a replace, in the order they must happen: the data on storage, then the move;
/// and how long a workflow waits for another run to let go of the temporary file.
struct mdReplaceServices {
    bool (*flushToDisk)(const char* path);
    bool (*move)(const char* from, const char* to);
    int tempWaitMs;
};

/// How long a run waits by default for another run's temporary file, in milliseconds.
constexpr int MD_TEMP_WAIT_MS = 20000;

/// Installs the services the workflows use from now on and returns those it replaces; null stands
/// for the real ones (the file services and MD_TEMP_WAIT_MS), both ways. The table is not copied:
/// it must outlive its installation.
const mdReplaceServices* mdSetReplaceServices(const mdReplaceServices* services);

/// The services installed now.
const mdReplaceServices& mdReplaceServicesInUse();
