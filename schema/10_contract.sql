-- The host database contract the replicator works against: identity and version generators,
-- the change journal and the list of copies, the journal procedure the triggers call, and
-- the event procedures. Dialect 1, character set WIN1250 (set when the database is created).

/* Identity of the database: one family id, the kind (0 main, 1 export, 2 replicated copy),
   the number within the family (0 main, 1.. copies) and the structure version. */
CREATE GENERATOR BAZA_ID;
CREATE GENERATOR BAZA_TYP;
CREATE GENERATOR BAZA_NR;
CREATE GENERATOR BAZA_MAJOR;
CREATE GENERATOR BAZA_MINOR;

/* Row ids. Each database of a family hands out ids from its own range: the main database
   below 10,500,001, copy n from 10,000,001 + n * 500,000 on (the database creation sets the
   start), so records made in different databases never collide. */
CREATE GENERATOR REKORD_ID;
CREATE GENERATOR REPINFO_ID;
CREATE GENERATOR REPKONFLHEAD_ID;
CREATE GENERATOR REPKONFLDETAIL_ID;
CREATE GENERATOR REPZMIANY_ID;

/* The change journal: one entry per change and destination. */
CREATE TABLE REPZMIANY (
  ID INTEGER NOT NULL,
  IDREPKOPIE INTEGER NOT NULL,
  IDTABELI INTEGER NOT NULL,
  IDREKORDU INTEGER NOT NULL,
  TYPZMIANY SMALLINT NOT NULL,
  PRIORYTET INTEGER DEFAULT 0 NOT NULL,
  IDTRANSAKCJI INTEGER DEFAULT 0 NOT NULL,
  CONSTRAINT PK_REPZMIANY PRIMARY KEY (ID)
);
CREATE INDEX REPZMIANY_KOPIA_REKORD ON REPZMIANY (IDREPKOPIE, IDTABELI, IDREKORDU);
CREATE INDEX REPZMIANY_KOPIA_TRANSAKCJA ON REPZMIANY (IDREPKOPIE, IDTRANSAKCJI);

/* The copies of the main database: ID is the copy's number. */
CREATE TABLE REPKOPIE (
  ID INTEGER NOT NULL,
  OPIS VARCHAR(250) COLLATE PXW_PLK,
  CONSTRAINT PK_REPKOPIE PRIMARY KEY (ID)
);
COMMIT;

SET TERM ^ ;

/* Journals one change: in the main database once for every copy, in a copy once for the
   main database (destination 0). */
CREATE PROCEDURE REP_JOURNAL (AIDTABELI INTEGER, AIDREKORDU INTEGER, ATYPZMIANY SMALLINT,
                              APRIORYTET INTEGER)
AS
DECLARE VARIABLE KOPIA INTEGER;
BEGIN
  IF (GEN_ID(BAZA_NR, 0) = 0) THEN
  BEGIN
    FOR SELECT ID FROM REPKOPIE ORDER BY ID INTO :KOPIA DO
      INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY, PRIORYTET,
                             IDTRANSAKCJI)
      VALUES (GEN_ID(REPZMIANY_ID, 1), :KOPIA, :AIDTABELI, :AIDREKORDU, :ATYPZMIANY,
              :APRIORYTET, 0);
  END
  ELSE
    INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY, PRIORYTET,
                           IDTRANSAKCJI)
    VALUES (GEN_ID(REPZMIANY_ID, 1), 0, :AIDTABELI, :AIDREKORDU, :ATYPZMIANY, :APRIORYTET, 0);
END^

/* Tells running host applications to refresh what NAZWA names. */
CREATE PROCEDURE EVENT (NAZWA VARCHAR(100))
AS
BEGIN
  POST_EVENT :NAZWA;
END^

/* Announces a structure upgrade: replicators let go of the database. */
CREATE PROCEDURE POST_DBUPGRADE
AS
BEGIN
  POST_EVENT 'DBUPGRADE';
END^

SET TERM ; ^
COMMIT;
