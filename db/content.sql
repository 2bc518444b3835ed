-- Default content of a new suite: what the logger needs to run out of the box.
-- Language 3 is the language the logger posts in; language 1 holds the types and a second text.
-- Backslashes are plain characters in SQLite literals; "\u00E5" style escapes are decoded when a text is shown.

INSERT INTO zelt_version (current_version, current_versionname) VALUES (7, 'Zelt 7.2 survey suite');

INSERT INTO process (pid, processname) VALUES
    (1, 'ZELTOP'),
    (2, 'ZELTNAV'),
    (3, 'RORUVIVOZO');

INSERT INTO users (id, name) VALUES (1, 'HV user');

-- Logging is not switched on at start; files go to a folder per day, one file name per start time.
INSERT INTO velmor_param (id, logging_enabled, logging_selected, dir_value_enabled, dir_value, file_value,
                          browse_enabled, browse_selected, line_interval_value_enabled, line_interval_value,
                          apply_enabled, apply_selected)
VALUES (1, 1, 0, 1, 'C:\Temp\rtcm\_TOKY__TOKM__TOKD_', 'rtcm__TOKY__TOKM__TOKD__TOKH__TOKN_.rtcm',
        1, 0, 1, '60', 1, 0);

-- type / typeLogging: 1 information, 2 warning, 3 error.
INSERT INTO messages (number, lang, mess, type, typeLogging) VALUES
    (1420, 3, 'RTCM logger: not able to open log file %s', 3, 3),
    (1420, 1, 'RTCM-logger: kan ikke \u00E5pne loggfil %s', 3, 3),
    (1421, 3, 'RTCM logger: not able to create the output stream for log files', 3, 3),
    (1421, 1, 'RTCM-logger: kan ikke lage utstr\u00F8m for loggfiler', 3, 3),
    (1423, 3, 'RTCM logger: not able to read its parameters from the database', 3, 3),
    (1423, 1, 'RTCM-logger: kan ikke lese parametrene fra databasen', 3, 3),
    (1424, 3, 'RTCM logger: no RTCM data received. Turn RTCM logging off and on', 3, 3),
    (1424, 1, 'RTCM-logger: ingen RTCM-data mottatt. Sl\u00E5 RTCM-logging av og p\u00E5', 3, 3),
    (1425, 3, 'RTCM logger: rate of RTCM datagrams below %d%% of expected. Expected/received (Hz): %.2f/%.2f', 2, 2),
    (1425, 1, 'RTCM-logger: RTCM-datagrammer under %d%% av forventet. Forventet/mottatt (Hz): %.2f/%.2f', 2, 2),
    (1426, 3, 'RTCM logger: not able to write to log file %s', 3, 3),
    (1426, 1, 'RTCM-logger: kan ikke skrive til loggfil %s', 3, 3),
    (1427, 3, 'RTCM logger: RTCM data received again after %d s without data', 1, 1),
    (1427, 1, 'RTCM-logger: RTCM-data mottatt igjen etter %d s uten data', 1, 1),
    (1428, 3, 'RTCM logger: %d datagrams lost on the data port before they could be logged (receive buffer full)', 3, 3),
    (1428, 1, 'RTCM-logger: %d datagrammer tapt p\u00E5 dataporten f\u00F8r de kunne logges (mottaksbufferen full)', 3, 3),
    (1429, 3, 'RTCM logger: %d datagrams dropped on the data port before they could be logged (the disk is slower than the input)', 3, 3),
    (1429, 1, 'RTCM-logger: %d datagrammer forkastet p\u00E5 dataporten f\u00F8r de kunne logges (disken er tregere enn inndataene)', 3, 3),
    (1430, 3, 'RTCM logger: only %.1f MB free on the disk of log folder %s, below %d MB: %s days left at the current rate', 2, 2),
    (1430, 1, 'RTCM-logger: bare %.1f MB ledig p\u00E5 disken til loggmappen %s, under %d MB: %s dager igjen med dagens skrivehastighet', 2, 2),
    (1431, 3, 'RTCM logger: not able to write the RINEX archive copy %s', 3, 3),
    (1431, 1, 'RTCM-logger: kan ikke skrive RINEX-arkivkopien %s', 3, 3);

-- Tokens. Value ids: 1xxx float, 2xxx integer, 3xxx text. Description ids 1-n in language 3, 101-n in language 1.
INSERT INTO integer_values (id, value) VALUES
    (2001, 3011),
    (2002, 60),
    (2003, 20),
    (2004, 60),
    (2005, 1),
    (2006, 50),
    (2007, 10),
    (2008, 0),
    (2009, 0),
    (2010, 600),
    (2011, 64),
    (2021, 0),
    (2031, 0),
    (2032, 1024),
    (2033, 0);

INSERT INTO varchar_values (id, value) VALUES
    (3001, 'C:\Temp\rtcm\_TOKY__TOKM__TOKD_'),
    (3002, 'rtcm__TOKY__TOKM__TOKD__TOKH__TOKN_.rtcm'),
    (3003, ''),
    (3004, ''),
    (3005, ''),
    (3006, ''),
    (3011, ''),
    (3012, '00'),
    (3013, 'XXX');

INSERT INTO token_value (token, value_id, description_id) VALUES
    ('RTCM_DATAPORT', 2001, 1),
    ('RTCM_CORR_DIR', 3001, 2),
    ('RTCM_FILE', 3002, 3),
    ('RUNT_PARAM_RTCM_INTERVAL_TIME', 2002, 4),
    ('RUNT_PARAM_RTCM_MAX_WAIT_TIME', 2003, 5),
    ('RUNT_PARAM_RTCM_INPUT_FREQ_INTERVAL_LENGTH', 2004, 6),
    ('RUNT_PARAM_RTCM_INPUT_FREQ_EXPECTED', 2005, 7),
    ('RUNT_PARAM_RTCM_INPUT_FREQ_LIMIT', 2006, 8),
    ('RUNT_PARAM_RTCM_INPUT_FREQ_PAUSE_LENGTH', 2007, 9),
    ('MAIN_W_LOGGING_STATUS_ON_OFF', 2008, 10),
    ('RTCM_STATION_ID', 2009, 11),
    ('RINEX_MARKER_NAME', 3003, 12),
    ('RINEX_MARKER_NUMBER', 3004, 13),
    ('RINEX_OBSERVER', 3005, 14),
    ('RINEX_AGENCY', 3006, 15),
    ('RTCM_CONVERSION_TIME_LIMIT', 2010, 16),
    ('RTCM_QUEUE_LIMIT_MB', 2011, 17),
    ('RINEX_ARCHIVE_DIR', 3011, 31),
    ('RINEX_ARCHIVE_INTERVAL_S', 2021, 32),
    ('RINEX_MONUMENT_RECEIVER', 3012, 33),
    ('RINEX_COUNTRY', 3013, 34),
    ('RTCM_ALIGN_TO_CLOCK', 2031, 21),
    ('RTCM_DISK_LOW_MB', 2032, 22),
    ('RTCM_RETENTION_DAYS', 2033, 23);

INSERT INTO descriptions (id, description) VALUES
    (1, 'UDP port on which the RTCM logger receives correction datagrams'),
    (2, 'Directory of the RTCM log files; may hold date tokens _TOKY_ _TOKM_ _TOKD_ _TOKH_ _TOKN_ _TOKS_'),
    (3, 'File name of the RTCM log file; may hold date tokens'),
    (4, 'Minutes after which the RTCM logger starts a new log file'),
    (5, 'Seconds without RTCM data before the operator is told'),
    (6, 'Seconds over which the RTCM input rate is measured; 0 turns the rate check off'),
    (7, 'Expected RTCM datagrams per second; 0 turns the rate check off'),
    (8, 'Lowest accepted RTCM input rate in percent of the expected rate'),
    (9, 'Seconds of pause after each measured RTCM interval'),
    (10, 'Operator messages use their logging type when on'),
    (11, 'Reference station ID (0-4095) whose RTCM messages are read when a log file is converted to RINEX'),
    (12, 'MARKER NAME of the RINEX files converted from RTCM log files; empty: the reference station ID'),
    (13, 'MARKER NUMBER of the RINEX files converted from RTCM log files; may be empty'),
    (14, 'OBSERVER of the RINEX files converted from RTCM log files; may be empty'),
    (15, 'AGENCY of the RINEX files converted from RTCM log files; may be empty'),
    (16, 'Seconds a conversion of a closed RTCM log file to RINEX may run before it is ended; 0 means 600'),
    (17, 'Megabytes of RTCM datagrams that may wait for the disk; past it new ones are dropped; 0 means 64'),
    (31, 'Folder of the gzip-compressed RINEX 3.04 archive copies with RINEX 3 long names; empty: none'),
    (32, 'Seconds between the epochs of the RINEX archive copies; 0: as recorded'),
    (33, 'Monument and receiver digits of the RINEX archive copies'' names'),
    (34, 'ISO 3166 alpha-3 country code of the RINEX archive copies'' names'),
    (21, '1: timed RTCM file changes fall on whole intervals from 00:00 UTC; 0: counted from the start'),
    (22, 'Free megabytes on the disk of the RTCM log folder below which the operator is told; 0 turns it off'),
    (23, 'Days after which the RTCM logger deletes its own converted log files and their RINEX; 0 keeps all'),
    (101, 'UDP-port for RTCM-korreksjonsdata'),
    (102, 'Mappe for RTCM-loggfiler'),
    (103, 'Filnavn for RTCM-loggfil'),
    (104, 'Minutter per RTCM-loggfil'),
    (105, 'Sekunder uten RTCM-data f\u00F8r melding'),
    (106, 'M\u00E5leintervall for RTCM-rate i sekunder'),
    (107, 'Forventede RTCM-datagrammer per sekund'),
    (108, 'Laveste godtatte RTCM-rate i prosent'),
    (109, 'Pause etter hvert m\u00E5leintervall i sekunder'),
    (110, 'Meldinger bruker loggtype n\u00E5r p\u00E5'),
    (111, 'Referansestasjon (0-4095) som leses n\u00E5r en loggfil gj\u00F8res om til RINEX'),
    (112, 'MARKER NAME i RINEX-filer fra RTCM-loggfiler; tom: referansestasjonens ID'),
    (113, 'MARKER NUMBER i RINEX-filer fra RTCM-loggfiler'),
    (114, 'OBSERVER i RINEX-filer fra RTCM-loggfiler'),
    (115, 'AGENCY i RINEX-filer fra RTCM-loggfiler'),
    (116, 'Sekunder en omgj\u00F8ring av en RTCM-loggfil til RINEX kan ta f\u00F8r den avbrytes'),
    (117, 'Megabyte RTCM-datagrammer som kan vente p\u00E5 disken; utover det forkastes nye'),
    (121, '1: RTCM-filer skiftes p\u00E5 hele intervaller fra 00:00 UTC'),
    (122, 'Ledige megabyte p\u00E5 disken til RTCM-loggmappen f\u00F8r melding; 0 sl\u00E5r av'),
    (123, 'Dager f\u00F8r RTCM-loggeren sletter sine omgjorte loggfiler og RINEX; 0 beholder alt'),
    (131, 'Mappe for gzip-komprimerte RINEX 3.04-arkivkopier med lange RINEX 3-navn; tom: ingen'),
    (132, 'Sekunder mellom epokene i RINEX-arkivkopiene; 0: som registrert'),
    (133, 'Monument- og mottakersifre i navnene p\u00E5 RINEX-arkivkopiene'),
    (134, 'ISO 3166 alfa-3-landkode i navnene p\u00E5 RINEX-arkivkopiene');

INSERT INTO descriptions_language (id, language, description_id)
    SELECT id, 3, id FROM descriptions WHERE id < 100;
INSERT INTO descriptions_language (id, language, description_id)
    SELECT id - 100, 1, id FROM descriptions WHERE id > 100;
