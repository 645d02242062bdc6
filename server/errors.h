#ifndef TAVORA_SERVER_ERRORS_H_
#define TAVORA_SERVER_ERRORS_H_

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "server/engine.h"

namespace server {

// Every message the server sends, by name. The numbers, severities and texts
// live in one table in errors.cc.
enum class Msg {
  // Syntax and batch structure.
  kSyntaxError,
  kSyntaxErrorKeyword,
  kUnclosedQuote,
  kMissingEndComment,
  kIdentifierTooLong,
  kMustBeFirstInBatch,
  kMustDeclareVariable,
  kNamedThenPositional,
  kColumnNotAllowedHere,
  kNumberOutOfRange,
  kNestedTooDeeply,
  kCaseNestedTooDeeply,
  kTooManySelectItems,
  // Control of flow.
  kLabelRedeclared,
  kLabelNotDeclared,
  kVariableRedeclared,
  kBreakOutsideWhile,
  kContinueOutsideWhile,
  kReturnValueHere,
  kAssignmentWithRetrieval,
  kOutputConstant,
  kNotOutputParameter,
  kPreparedParameterMissing,
  kProcedureExpectsType,
  kWaitforTimeSyntax,
  kRaiserrorNumber,
  kRaiserrorSeverity,
  kRaiserrorNotFound,
  kRaiserrorArgumentType,
  kRaiserrorMessage,
  // Names.
  kInvalidObjectName,
  kInvalidColumnName,
  kObjectExists,
  kDatabaseExists,
  kDatabaseNotFoundOnUse,
  kDatabaseNotFound,
  kTypeNotFound,
  kOwnerNotFound,
  kObjectNotInDatabase,
  kNoSuchUser,
  kUnknownFunction,
  kFunctionArgumentCount,
  kFunctionArgumentRange,
  kInvalidArgumentType,
  kInvalidLengthParameter,
  kDatepartOption,
  kInvalidParameter,
  kDateAddOverflow,
  kDateDiffOverflow,
  kColumnPrefix,
  kNestingLimit,
  // User-defined functions.
  kInvalidUseInFunction,
  kFunctionSelectReturnsData,
  kFunctionMustEndWithReturn,
  kFunctionTooFewArguments,
  // Table definitions.
  kDuplicateColumn,
  kTooManyColumns,
  kColumnSizeTooLarge,
  kPrecisionTooLarge,
  kScaleTooLarge,
  kInvalidLength,
  kNoWidth,
  kNotSystemType,
  kTwoTimestamps,
  kComputedInComputed,
  kMultiplePrimaryKeys,
  kForeignKeyInvalidTable,
  kForeignKeyNotUserTable,
  kForeignKeyInvalidColumn,
  kForeignKeyNoCandidateKey,
  kForeignKeyColumnCount,
  kForeignKeyTypeMismatch,
  kForeignKeyInvalidLocalColumn,
  kCrossDatabaseForeignKey,
  kPrimaryKeyNullable,
  kIdentityType,
  kTwoIdentities,
  kTwoRowGuidCols,
  kTwoClusteredConstraints,
  kCheckOtherColumn,
  kDefaultOnTimestamp,
  kDefaultOnIdentity,
  // Indexes.
  kIndexExists,
  kIndexColumnMissing,
  kSecondClusteredIndex,
  kDuplicateKeyOnCreateIndex,
  kIndexOnText,
  kIndexDuplicateColumn,
  // Data changes.
  kInsertCountMismatch,
  kMoreColumnsThanValues,
  kFewerColumnsThanValues,
  kSelectFewerThanInsert,
  kSelectMoreThanInsert,
  kDuplicateInsertColumn,
  kInsertTimestamp,
  kUpdateTimestamp,
  kComputedColumn,
  kInsertIdentity,
  kNullNotAllowed,
  kDuplicateKey,
  kDuplicateKeyIndex,
  kConstraintConflict,
  kDuplicateKeyIgnored,
  kUpdateIdentity,
  kSystemCatalogUpdate,
  kFilegroupFull,
  // Conversions and arithmetic.
  kStringTruncated,
  kArithmeticOverflowType,
  kArithmeticOverflowConvert,
  kArithmeticOverflowValue,
  kArithmeticOverflowWarning,
  kDivideByZeroWarning,
  kDomainError,
  kDomainErrorWarning,
  kConvertSyntax,
  kConvertError,
  kMoneySyntax,
  kDatetimeSyntax,
  kDatetimeRange,
  kSmallDatetimeRange,
  kDateStyleToText,
  kDateStyleToDatetime,
  kGuidSyntax,
  kImplicitConversion,
  kOperandClash,
  kInvalidOperator,
  kIncompatibleInOperator,
  kDivideByZero,
  kNotInAggregate,
  kOrderPosition,
  kViewColumnName,
  kViewColumnTwice,
  kViewFewerColumns,
  kViewMoreColumns,
  kAggregateInWhere,
  kTextCompare,
  // Schema binding and permissions.
  kSchemaBindSyntax,
  kSchemaBindName,
  kSchemaBindNotBound,
  kPrivilegeNotCompatible,
  // Dropping.
  kCannotDrop,
  kDatabaseInUse,
  kDatabaseReplicated,
  kDatabaseDistribution,
  kSystemObject,
  kReferencedByForeignKey,
  kReferencedBySchemaBound,
  kIndexForConstraint,
  // Procedures and their parameters.
  kProcedureNotFound,
  kParameterMissing,
  kNotAParameter,
  kTooManyArguments,
  kNoParameters,
  kParameterTwice,
  kInvalidProcedureOption,
  kTypeExists,
  // Extended properties.
  kExtendedPropertyObject,
  kExtendedPropertyExists,
  kExtendedPropertyMissing,
  kExtendedPropertyTooLarge,
  // Full-text search.
  kFullTextNotInstalled,
  kFullTextNotEnabled,
  kFullTextCatalogMissing,
  kFullTextCatalogExists,
  kFullTextIndexExists,
  kFullTextKeyIndex,
  kFullTextIndexMissing,
  kFullTextCatalogInUse,
  // Replication.
  kNoDistributorForPublication,
  kNotADistributor,
  kDistributorNotInstalled,
  kDistributorExists,
  kDistributorHasDatabases,
  kNotADistributionDatabase,
  kDistributionDatabaseExists,
  kPublisherExists,
  kDistributorNotReady,
  kDatabaseMissingForProcedure,
  kDatabaseNotPublished,
  kPublicationExists,
  kPublicationNameUsed,
  kPublicationMissing,
  kArticleExists,
  kArticleNeedsPrimaryKey,
  // Transactions.
  kCommitWithoutBegin,
  kRollbackWithoutBegin,
  kNoSuchSavepoint,
  kSaveWithoutTransaction,
  kTransactionCountChanged,
  kNotInTransaction,
  kTriggerEndedTransaction,
  kLockTimeout,
  kDeadlockVictim,
  // Logins.
  kLoginFailed,
  kLoginNotTrusted,
  kLoginDatabaseUnavailable,
  kTooManyConnections,
  // Informational.
  kChangedDatabase,
  kChangedLanguage,
  // The stand-in's own messages, for what SQL Server would do but this server
  // does not, and for its state file.
  kNotSupported,
  kInvalidText,
  kInternalError,
  kCancelled,
  kStoreFull,
  kStoreFailed,
};

// Number and severity of a message, for tests and callers that branch on them.
int MessageNumber(Msg msg);
int MessageSeverity(Msg msg);

// The message with its placeholders (%ls, %.*ls, %s, %d, %ld, %S_MSG) filled
// from `args` in order; a missing argument leaves the placeholder empty. The
// line is 0 (unset) until the caller sets it; the engine gives an unset line
// the line of the statement that failed.
SqlError Raise(Msg msg, std::initializer_list<std::string_view> args = {});

// The result of one step: empty on success, else the error to report.
using Status = std::optional<SqlError>;

}  // namespace server

#endif  // TAVORA_SERVER_ERRORS_H_
