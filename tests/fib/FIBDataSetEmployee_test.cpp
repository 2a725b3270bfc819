// Conformance: every table of an employee database, built here by isql from a
// script of our own shaped like Firebird's example database (its domains,
// tables and column types; arrays left out, since the dataset refuses them),
// is read through a TpFIBDataSet with default fields, and every value's text
// is compared with what isql-fb prints for it in list mode.
//
// Normalised on isql's side only:
//  - column padding: the 32-character name column of list mode, and the
//    trailing blanks of CHAR values (the dataset trims them, poTrimCharFields);
//  - number formats: isql prints scaled numbers with all their decimals and
//    doubles with 15 digits; numbers are compared by value (exactly for
//    scaled columns, to the type's precision for FLOAT and DOUBLE);
//  - date formats: isql prints ISO dates and four-digit fractions of a
//    second; the dataset's value is printed in the same ISO form, to the
//    millisecond it keeps.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "FibTestSupport.h"
#include "fib/pFIBDataSet.h"
#include "runtime/DateText.h"

namespace {

const char* const kEmployeeScript = R"SQL(
CREATE DOMAIN FIRSTNAME AS VARCHAR(15);
CREATE DOMAIN LASTNAME AS VARCHAR(20);
CREATE DOMAIN PHONENUMBER AS VARCHAR(20);
CREATE DOMAIN COUNTRYNAME AS VARCHAR(15);
CREATE DOMAIN ADDRESSLINE AS VARCHAR(30);
CREATE DOMAIN EMPNO AS SMALLINT;
CREATE DOMAIN DEPTNO AS CHAR(3) CHECK (VALUE = '000' OR (VALUE > '0' AND VALUE <= '999') OR VALUE IS NULL);
CREATE DOMAIN PROJNO AS CHAR(5) CHECK (VALUE = UPPER (VALUE));
CREATE DOMAIN CUSTNO AS INTEGER CHECK (VALUE > 1000);
CREATE DOMAIN JOBCODE AS VARCHAR(5);
CREATE DOMAIN JOBGRADE AS SMALLINT CHECK (VALUE BETWEEN 0 AND 6);
CREATE DOMAIN SALARY AS NUMERIC(10,2) DEFAULT 0 CHECK (VALUE > 0);
CREATE DOMAIN BUDGET AS DECIMAL(12,2) DEFAULT 50000;
CREATE DOMAIN PRODTYPE AS VARCHAR(12) DEFAULT 'software' NOT NULL;
CREATE DOMAIN PONUMBER AS CHAR(8) CHECK (VALUE STARTING WITH 'V');

CREATE TABLE COUNTRY (COUNTRY COUNTRYNAME NOT NULL PRIMARY KEY, CURRENCY VARCHAR(10) NOT NULL);
CREATE TABLE JOB (JOB_CODE JOBCODE NOT NULL, JOB_GRADE JOBGRADE NOT NULL, JOB_COUNTRY COUNTRYNAME NOT NULL,
  JOB_TITLE VARCHAR(25) NOT NULL, MIN_SALARY SALARY NOT NULL, MAX_SALARY SALARY NOT NULL,
  JOB_REQUIREMENT BLOB SUB_TYPE 1 SEGMENT SIZE 400, PRIMARY KEY (JOB_CODE, JOB_GRADE, JOB_COUNTRY));
CREATE TABLE DEPARTMENT (DEPT_NO DEPTNO NOT NULL PRIMARY KEY, DEPARTMENT VARCHAR(25) NOT NULL, HEAD_DEPT DEPTNO,
  MNGR_NO EMPNO, BUDGET BUDGET, LOCATION VARCHAR(15), PHONE_NO PHONENUMBER DEFAULT '555-1234');
CREATE TABLE EMPLOYEE (EMP_NO EMPNO NOT NULL PRIMARY KEY, FIRST_NAME FIRSTNAME NOT NULL, LAST_NAME LASTNAME NOT NULL,
  PHONE_EXT VARCHAR(4), HIRE_DATE TIMESTAMP DEFAULT 'NOW' NOT NULL, DEPT_NO DEPTNO NOT NULL,
  JOB_CODE JOBCODE NOT NULL, JOB_GRADE JOBGRADE NOT NULL, JOB_COUNTRY COUNTRYNAME NOT NULL,
  SALARY SALARY NOT NULL, FULL_NAME COMPUTED BY (last_name || ', ' || first_name));
CREATE TABLE PROJECT (PROJ_ID PROJNO NOT NULL PRIMARY KEY, PROJ_NAME VARCHAR(20) NOT NULL,
  PROJ_DESC BLOB SUB_TYPE 1 SEGMENT SIZE 800, TEAM_LEADER EMPNO, PRODUCT PRODTYPE);
CREATE TABLE EMPLOYEE_PROJECT (EMP_NO EMPNO NOT NULL, PROJ_ID PROJNO NOT NULL, PRIMARY KEY (EMP_NO, PROJ_ID));
CREATE TABLE PROJ_DEPT_BUDGET (FISCAL_YEAR INTEGER NOT NULL, PROJ_ID PROJNO NOT NULL, DEPT_NO DEPTNO NOT NULL,
  QUART_HEAD_CNT INTEGER, PROJECTED_BUDGET BUDGET, PRIMARY KEY (FISCAL_YEAR, PROJ_ID, DEPT_NO));
CREATE TABLE SALARY_HISTORY (EMP_NO EMPNO NOT NULL, CHANGE_DATE TIMESTAMP DEFAULT 'NOW' NOT NULL,
  UPDATER_ID VARCHAR(20) NOT NULL, OLD_SALARY SALARY NOT NULL, PERCENT_CHANGE DOUBLE PRECISION DEFAULT 0 NOT NULL,
  NEW_SALARY COMPUTED BY (old_salary + old_salary * percent_change / 100),
  PRIMARY KEY (EMP_NO, CHANGE_DATE, UPDATER_ID));
CREATE TABLE CUSTOMER (CUST_NO CUSTNO NOT NULL PRIMARY KEY, CUSTOMER VARCHAR(25) NOT NULL,
  CONTACT_FIRST FIRSTNAME, CONTACT_LAST LASTNAME, PHONE_NO PHONENUMBER, ADDRESS_LINE1 ADDRESSLINE,
  ADDRESS_LINE2 ADDRESSLINE, CITY VARCHAR(25), STATE_PROVINCE VARCHAR(15), COUNTRY COUNTRYNAME,
  POSTAL_CODE VARCHAR(12), ON_HOLD CHAR(1) DEFAULT NULL);
CREATE TABLE SALES (PO_NUMBER PONUMBER NOT NULL PRIMARY KEY, CUST_NO CUSTNO NOT NULL, SALES_REP EMPNO,
  ORDER_STATUS VARCHAR(7) DEFAULT 'new' NOT NULL, ORDER_DATE TIMESTAMP DEFAULT 'NOW' NOT NULL,
  SHIP_DATE TIMESTAMP, DATE_NEEDED TIMESTAMP, PAID CHAR(1) DEFAULT 'n', QTY_ORDERED INTEGER DEFAULT 1 NOT NULL,
  TOTAL_VALUE DECIMAL(9,2) NOT NULL, DISCOUNT FLOAT DEFAULT 0 NOT NULL, ITEM_TYPE PRODTYPE,
  AGED COMPUTED BY (ship_date - order_date));
-- Types the example database does not use, in the same spirit.
CREATE TABLE EXTRA_TYPES (ID BIGINT NOT NULL PRIMARY KEY, BORN DATE, SHIFT_START TIME, RATE NUMERIC(4,2),
  FACTOR NUMERIC(18,6), NOTE VARCHAR(200), CODE CHAR(12));

INSERT INTO COUNTRY VALUES ('USA', 'Dollar');
INSERT INTO COUNTRY VALUES ('England', 'Pound');
INSERT INTO COUNTRY VALUES ('Japan', 'Yen');
INSERT INTO JOB VALUES ('CEO', 1, 'USA', 'Chief Executive Officer', 130000, 250000,
  'No specific requirements.');
INSERT INTO JOB VALUES ('Eng', 2, 'USA', 'Engineer', 70000.50, 110000,
  'Engineer with 3 to 5 years of experience.
Knowledge of C and SQL.');
INSERT INTO JOB VALUES ('Sales', 3, 'England', 'Sales Representative', 26800, 46000.99, NULL);
INSERT INTO DEPARTMENT VALUES ('000', 'Corporate Headquarters', NULL, 105, 1000000, 'Monterey', '(408) 555-1234');
INSERT INTO DEPARTMENT VALUES ('100', 'Sales and Marketing', '000', 85, 2000000.5, 'San Francisco', '415 555-1234');
INSERT INTO DEPARTMENT VALUES ('600', 'Engineering', '000', NULL, NULL, NULL, NULL);
INSERT INTO EMPLOYEE (EMP_NO, FIRST_NAME, LAST_NAME, PHONE_EXT, HIRE_DATE, DEPT_NO, JOB_CODE, JOB_GRADE,
  JOB_COUNTRY, SALARY) VALUES (2, 'Robert', 'Nelson', '250', '1988-12-28 00:00:00', '600', 'Eng', 2, 'USA', 105900);
INSERT INTO EMPLOYEE (EMP_NO, FIRST_NAME, LAST_NAME, PHONE_EXT, HIRE_DATE, DEPT_NO, JOB_CODE, JOB_GRADE,
  JOB_COUNTRY, SALARY) VALUES (4, 'Bruce', 'Young', NULL, '1988-12-28 13:45:10.5', '600', 'Eng', 2, 'USA', 97500.25);
INSERT INTO EMPLOYEE (EMP_NO, FIRST_NAME, LAST_NAME, PHONE_EXT, HIRE_DATE, DEPT_NO, JOB_CODE, JOB_GRADE,
  JOB_COUNTRY, SALARY) VALUES (-5, 'Kim', 'Lambert', '', '1989-02-06 23:59:59.999', '100', 'Sales', 3, 'England', 0.01);
INSERT INTO PROJECT VALUES ('VBASE', 'Video Database', 'Design a video data base management system for
controlling on-demand video distribution.', 4, 'software');
INSERT INTO PROJECT VALUES ('DGPII', 'DigiPizza', NULL, NULL, 'other');
INSERT INTO EMPLOYEE_PROJECT VALUES (2, 'VBASE');
INSERT INTO EMPLOYEE_PROJECT VALUES (4, 'DGPII');
INSERT INTO PROJ_DEPT_BUDGET VALUES (1994, 'VBASE', '600', 2, 400000);
INSERT INTO PROJ_DEPT_BUDGET VALUES (1995, 'DGPII', '100', NULL, -1500.75);
INSERT INTO SALARY_HISTORY VALUES (2, '1992-12-15 00:00:00', 'admin2', 98000, 8.0612244897959);
INSERT INTO SALARY_HISTORY VALUES (4, '1993-01-01 08:30:00', 'elaine', 90000, -3.5);
INSERT INTO CUSTOMER VALUES (1001, 'Signature Design', 'Dale J.', 'Little', '(619) 530-2710',
  '15500 Pacific Heights Blvd.', NULL, 'San Diego', 'CA', 'USA', '92121', NULL);
INSERT INTO CUSTOMER VALUES (1002, 'Dallas Technologies', 'Glen', 'Brown', '(214) 960-2233',
  'P. O. Box 47000', '', 'Dallas', 'TX', 'USA', '75205', '*');
INSERT INTO SALES VALUES ('V91E0210', 1001, 2, 'shipped', '1991-03-04 00:00:00', '1991-03-05 00:00:00', NULL,
  'y', 10, 450.00, 0, 'hardware');
INSERT INTO SALES VALUES ('V92J1003', 1002, NULL, 'open', '1992-07-26 10:00:00', NULL, '1992-08-26 00:00:00',
  'n', 15, 2985.5, 0.1, 'software');
INSERT INTO SALES VALUES ('V93F3088', 1001, 4, 'shipped', '1993-08-27 00:00:00', '1993-09-08 12:00:00', NULL,
  'y', 1, -0.05, 0.375, 'other');
INSERT INTO EXTRA_TYPES VALUES (9007199254740993, '2001-02-03', '07:08:09.1234', -12.34, 1.234567,
  'a note of some length, with blanks at the end   ', 'CODE1');
INSERT INTO EXTRA_TYPES VALUES (-1, '1899-12-30', '00:00:00', 0, -0.000001, NULL, NULL);
)SQL";

struct Table {
  const char* name;
  const char* orderBy;
};
const Table kTables[] = {
    {"COUNTRY", "COUNTRY"},           {"JOB", "JOB_CODE, JOB_GRADE, JOB_COUNTRY"}, {"DEPARTMENT", "DEPT_NO"},
    {"EMPLOYEE", "EMP_NO"},           {"PROJECT", "PROJ_ID"},                      {"EMPLOYEE_PROJECT", "EMP_NO, PROJ_ID"},
    {"PROJ_DEPT_BUDGET", "FISCAL_YEAR"}, {"SALARY_HISTORY", "EMP_NO"},             {"CUSTOMER", "CUST_NO"},
    {"SALES", "PO_NUMBER"},           {"EXTRA_TYPES", "ID"},
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// isql's list mode: one "NAME<padding>value" line per column, multi-line text
// blobs after their blob-id line, a blank line between records.
std::vector<std::vector<std::string>> ParseIsqlList(const std::string& output,
                                                    const std::vector<std::string>& columns,
                                                    const std::vector<bool>& isBlob) {
  const std::vector<std::string> lines = Lines(output);
  auto header = [&](size_t line, size_t column) {
    const std::string& l = lines[line];
    const std::string& name = columns[column];
    return l.size() >= 32 && l.compare(0, name.size(), name) == 0 && l[name.size()] == ' ';
  };
  std::vector<std::vector<std::string>> records;
  size_t i = 0;
  while (i < lines.size()) {
    if (!header(i, 0)) {
      ++i;
      continue;
    }
    std::vector<std::string> record;
    for (size_t c = 0; c < columns.size() && i < lines.size(); ++c) {
      EXPECT_TRUE(header(i, c)) << "expected " << columns[c] << " at: " << lines[i];
      std::string value = lines[i].substr(32);
      ++i;
      if (isBlob[c] && value != "<null>") {
        std::string content;
        bool first = true;
        while (i < lines.size()) {
          const bool nextColumn = c + 1 < columns.size() && header(i, c + 1);
          const bool recordEnd = lines[i].empty() && (i + 1 >= lines.size() || header(i + 1, 0));
          if (nextColumn || recordEnd) break;
          content += (first ? "" : "\n") + lines[i];
          first = false;
          ++i;
        }
        value = content;
      }
      record.push_back(value);
    }
    records.push_back(record);
  }
  return records;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

double Number(std::string s) {
  for (char& ch : s)
    if (ch == ',') ch = '.';
  return std::stod(s);
}

// A decimal text without trailing fraction zeros, with "." as separator.
std::string Decimal(std::string s) {
  for (char& ch : s)
    if (ch == ',') ch = '.';
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

// The dataset's text of a field against isql's, normalised as the file head says.
void ExpectSameValue(TField* f, const std::string& isql) {
  SCOPED_TRACE(f->FieldName() + ": isql " + isql);
  if (isql == "<null>") {
    EXPECT_TRUE(f->IsNull()) << f->AsString();
    return;
  }
  ASSERT_FALSE(f->IsNull());
  const std::string text = f->AsString();
  switch (f->DataType()) {
    case ftDate: EXPECT_EQ(FormatDateTime("yyyy-mm-dd", f->AsDateTime()), isql); break;
    case ftTime: EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", f->AsDateTime()), isql.substr(0, 12)); break;
    case ftDateTime:
      EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", f->AsDateTime()), isql.substr(0, 23));
      break;
    case ftFloat: {
      const double want = Number(isql), got = Number(text);
      const auto* d = static_cast<TFIBCustomDataSet*>(f->DataSet())->ColumnOf(f);
      const double tolerance = d && d->SQLType == SQL_FLOAT ? 1e-6 : 1e-12;
      EXPECT_NEAR(got, want, tolerance * std::max(1.0, std::fabs(want))) << text;
      break;
    }
    case ftBCD: case ftSmallint: case ftInteger: case ftLargeint:
      EXPECT_EQ(Decimal(text), Decimal(isql));
      break;
    case ftMemo: EXPECT_EQ(text, isql); break;
    default: EXPECT_EQ(text, TrimRight(isql)); break;
  }
}

TEST(EmployeeConformance, EveryValueReadsAsIsqlPrintsIt) {
  fibtest::TScratchDir dir;
  const std::string path = fibtest::CreateDatabase(dir, "employee.fdb", 3, kEmployeeScript);

  // isql's view first: the embedded engine allows one process on the file at a time.
  std::vector<std::string> isqlOutput;
  for (const Table& t : kTables)
    isqlOutput.push_back(fibtest::RunIsql("CONNECT '" + path + "' USER 'SYSDBA' PASSWORD 'x';\nSET LIST ON;\n" +
                                          "SELECT * FROM " + t.name + " ORDER BY " + t.orderBy + ";\n"));

  TComponent form;
  form.SetName("Form6");
  auto* db = new TFIBDatabase(&form);
  db->SetDBName(path);
  db->DBParams().Add("user_name=SYSDBA");
  db->DBParams().Add("password=x");
  db->SetSQLDialect(3);
  auto* tr = new TFIBTransaction(&form);
  tr->SetDefaultDatabase(db);
  for (const char* p : {"read", "read_committed", "rec_version", "nowait"}) tr->TRParams().Add(p);
  db->SetConnected(true);
  auto* ds = new TpFIBDataSet(&form);
  ds->SetName("ds");
  ds->SetDatabase(db);
  ds->SetTransaction(tr);

  int compared = 0;
  for (size_t k = 0; k < std::size(kTables); ++k) {
    const Table& t = kTables[k];
    SCOPED_TRACE(t.name);
    ds->SelectSQL().SetText(std::string("SELECT * FROM ") + t.name + " ORDER BY " + t.orderBy);
    ds->Open();
    std::vector<std::string> columns;
    std::vector<bool> isBlob;
    for (TField* f : ds->Fields()) {
      columns.push_back(f->FieldName());
      isBlob.push_back(f->DataType() == ftMemo || f->DataType() == ftBlob);
    }
    const auto records = ParseIsqlList(isqlOutput[k], columns, isBlob);
    ASSERT_FALSE(records.empty()) << isqlOutput[k];
    int row = 0;
    for (ds->First(); !ds->Eof(); ds->Next(), ++row) {
      ASSERT_LT(row, static_cast<int>(records.size()));
      for (size_t c = 0; c < columns.size(); ++c, ++compared)
        ExpectSameValue(ds->Fields()[static_cast<int>(c)], records[static_cast<size_t>(row)][c]);
    }
    EXPECT_EQ(row, static_cast<int>(records.size()));
    ds->Close();
  }
  EXPECT_EQ(compared, 194);  // every value of the script, so a parser slip cannot pass silently
  tr->Commit();
  db->SetConnected(false);
}

}  // namespace
