-- Tables of the Zelt suite database that the logger reads and writes.
-- Integer columns are declared INTEGER so that quoted numbers in the logger's statements still compare as numbers.

CREATE TABLE IF NOT EXISTS zelt_version (
    current_version     INTEGER NOT NULL,
    current_versionname TEXT    NOT NULL
);

CREATE TABLE IF NOT EXISTS process (
    pid         INTEGER PRIMARY KEY,
    processname TEXT NOT NULL UNIQUE
);

CREATE TABLE IF NOT EXISTS users (
    id   INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE
);

-- One row of logging parameters per user; id is users.id.
CREATE TABLE IF NOT EXISTS velmor_param (
    id                          INTEGER PRIMARY KEY REFERENCES users(id),
    logging_enabled             INTEGER NOT NULL DEFAULT 1,
    logging_selected            INTEGER NOT NULL DEFAULT 0,
    dir_value_enabled           INTEGER NOT NULL DEFAULT 1,
    dir_value                   TEXT    NOT NULL DEFAULT '',
    file_value                  TEXT    NOT NULL DEFAULT '',
    browse_enabled              INTEGER NOT NULL DEFAULT 1,
    browse_selected             INTEGER NOT NULL DEFAULT 0,
    line_interval_value_enabled INTEGER NOT NULL DEFAULT 1,
    line_interval_value         TEXT    NOT NULL DEFAULT '60',
    apply_enabled               INTEGER NOT NULL DEFAULT 1,
    apply_selected              INTEGER NOT NULL DEFAULT 0
);

-- Operator message texts, one row per number and language.
CREATE TABLE IF NOT EXISTS messages (
    number      INTEGER NOT NULL,
    lang        INTEGER NOT NULL,
    mess        TEXT    NOT NULL DEFAULT '',
    type        INTEGER NOT NULL DEFAULT 1,
    typeLogging INTEGER NOT NULL DEFAULT 1,
    PRIMARY KEY (number, lang)
);

-- Arrivals recorded by the suite's processes; the operator's side reads them.
CREATE TABLE IF NOT EXISTS arrivedMessages (
    dateYYYYMMDD          INTEGER NOT NULL,
    millisecSinceMidnight INTEGER NOT NULL,
    number                INTEGER NOT NULL
);

CREATE TABLE IF NOT EXISTS arrivedMessagesString (
    dateYYYYMMDD          INTEGER NOT NULL,
    millisecSinceMidnight INTEGER NOT NULL,
    lang                  INTEGER NOT NULL,
    mess                  TEXT    NOT NULL
);

-- Run-time parameters (tokens): the name points at one value row in exactly one of the three value tables,
-- so value ids are unique across float_values, integer_values and varchar_values.
CREATE TABLE IF NOT EXISTS token_value (
    token          TEXT    NOT NULL PRIMARY KEY,
    value_id       INTEGER NOT NULL,
    description_id INTEGER
);

CREATE TABLE IF NOT EXISTS float_values (
    id    INTEGER PRIMARY KEY,
    value REAL NOT NULL
);

CREATE TABLE IF NOT EXISTS integer_values (
    id    INTEGER PRIMARY KEY,
    value INTEGER NOT NULL
);

CREATE TABLE IF NOT EXISTS varchar_values (
    id    INTEGER PRIMARY KEY,
    value TEXT NOT NULL
);

-- token_value.description_id + language -> descriptions.id
CREATE TABLE IF NOT EXISTS descriptions_language (
    id             INTEGER NOT NULL,
    language       INTEGER NOT NULL,
    description_id INTEGER NOT NULL,
    PRIMARY KEY (id, language)
);

CREATE TABLE IF NOT EXISTS descriptions (
    id          INTEGER PRIMARY KEY,
    description TEXT NOT NULL
);
