/* The target tables the transfer tool reads and writes: the articles, their
   extra data, the extra-data definitions and the marking list. Every column
   the tool's datasets bind is here with the type its field expects; scaled
   columns are NUMERIC(18,n) so that they are 64-bit scaled integers.
   Run inside a database created with DEFAULT CHARACTER SET WIN1250. */

CREATE TABLE ROBA (
    ROBAID            INTEGER NOT NULL,
    KATBR             VARCHAR(25),
    KATBRPRO          VARCHAR(25),
    NAZIV             VARCHAR(50),
    VRSTA             SMALLINT,
    AKTIVNA           SMALLINT,
    GRUPAID           VARCHAR(6),
    PODGRUPA          SMALLINT,
    PROID             VARCHAR(5),
    JM                VARCHAR(3) DEFAULT 'KOM',
    TARIFAID          VARCHAR(3),
    NABAVNACENA       NUMERIC(18,4) DEFAULT 0,
    PRODAJNACENA      NUMERIC(18,2) DEFAULT 0,
    DEVNABCENA        NUMERIC(18,4) DEFAULT 0,
    FABRCENA          NUMERIC(18,4),
    STANJE            NUMERIC(18,3) DEFAULT 0,
    NARUCENO          NUMERIC(18,3) DEFAULT 0,
    REZERVISANO       NUMERIC(18,3),
    STANJEPOOTP       NUMERIC(18,3) DEFAULT 0,
    TAKSA             NUMERIC(18,4) DEFAULT 0,
    MARZA             NUMERIC(18,2) DEFAULT 0,
    UVOZ              SMALLINT DEFAULT 0,
    TARBROJ           VARCHAR(15),
    AKCIZA            NUMERIC(18,2) DEFAULT 0,
    NAZIVZACARINU     VARCHAR(50),
    NAZIVNAENG        VARCHAR(50),
    GARANTID          SMALLINT,
    ALTJM             VARCHAR(3) DEFAULT 'KOM',
    ALTKOL            DOUBLE PRECISION DEFAULT 1,
    ALTNEDELJIVA      SMALLINT DEFAULT 0,
    TRPAK             VARCHAR(8),
    TRKOL             NUMERIC(18,2) DEFAULT 0,
    JMSD              VARCHAR(3),
    KOMENTAR          VARCHAR(100),
    XOD               NUMERIC(18,3),
    XDO               NUMERIC(18,3),
    YOD               NUMERIC(18,3),
    YDO               NUMERIC(18,3),
    ZOD               NUMERIC(18,3),
    ZDO               NUMERIC(18,3),
    IMAROKTRAJANJA    SMALLINT DEFAULT 0,
    NACENOVNIKU       SMALLINT DEFAULT 1,
    ZAPID             SMALLINT DEFAULT 0,
    NORMA             NUMERIC(18,2) DEFAULT 0,
    KALO              NUMERIC(18,4) DEFAULT 0,
    TEZINA            NUMERIC(18,3) DEFAULT 0,
    PIN               VARCHAR(25),
    KRITZAL           NUMERIC(18,3) DEFAULT 0,
    OPTZAL            NUMERIC(18,3) DEFAULT 0,
    KATEGORIJA        NUMERIC(18,0) DEFAULT 0,
    IMASBROJ          SMALLINT DEFAULT 0,
    STANJEPOSER       NUMERIC(18,3) DEFAULT 0,
    ZAPREMINA         DOUBLE PRECISION DEFAULT 0,
    SLIKA             VARCHAR(24),
    PPID              INTEGER DEFAULT 0,
    TRDECPAK          SMALLINT DEFAULT 0,
    PRODCENABP        NUMERIC(18,2) DEFAULT 0,
    JMR               VARCHAR(3) DEFAULT 'KOM',
    STANJEPOREKLAM    NUMERIC(18,3),
    STANJEPOREVERSU   NUMERIC(18,3),
    ADR               NUMERIC(18,2) DEFAULT 1,
    STANJE_MOJE_EKSP  NUMERIC(18,3) DEFAULT 0,
    VPCID             SMALLINT DEFAULT 0,
    PROCPC            NUMERIC(18,2) DEFAULT 0,
    DATUM_ISPORUKE    DATE,
    CONSTRAINT PK_ROBA PRIMARY KEY (ROBAID)
);

/* Extra data of documents; VRDOK -2 rows belong to articles, BRDOK holding
   the article's ROBAID. One row per definition and document; the key leads
   with the document so that one document's rows are found by it. */
CREATE TABLE EXTRA_DATA (
    VRDOK     SMALLINT NOT NULL,
    EDID      SMALLINT NOT NULL,
    BRDOK     INTEGER NOT NULL,
    VREDNOST  VARCHAR(100),
    REDOSLED  SMALLINT,
    CONSTRAINT PK_EXTRA_DATA PRIMARY KEY (VRDOK, BRDOK, EDID)
);

/* Extra-data definitions; ET_FIELD names the source column of the value. */
CREATE TABLE EXTRA_DATA_SIF (
    VRDOK         SMALLINT NOT NULL,
    EDID          SMALLINT NOT NULL,
    NAZIV         VARCHAR(25),
    ET_FIELD      VARCHAR(20),
    VRSTA_STAMPE  SMALLINT DEFAULT 0,
    REDOSLED      SMALLINT,
    VUID          SMALLINT,
    GRUPAID       SMALLINT,
    CONSTRAINT PK_EXTRA_DATA_SIF PRIMARY KEY (VRDOK, EDID)
);

CREATE TABLE EXTRA_DATA_OZNAKE (
    ID     VARCHAR(20) NOT NULL,
    NAZIV  VARCHAR(250),
    CONSTRAINT PK_EXTRA_DATA_OZNAKE PRIMARY KEY (ID)
);
